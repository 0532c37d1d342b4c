#pragma once

#include "views/main/DashboardInsights.h"
#include "views/shared/Card.h"

class QLabel;

// "Try Next": one suggested key sequence with its keys and how to use it, tinted in the accent colour.
class DashboardSuggestionCard : public Card {
    Q_OBJECT
public:
    explicit DashboardSuggestionCard(QWidget* parent = nullptr);

    void setSuggestion(const SuggestedShortcut& suggestion);

    QString name() const;
    QString keys() const;
    QString howTo() const;

private:
    QLabel* m_name = nullptr;
    QLabel* m_keys = nullptr;
    QLabel* m_howTo = nullptr;
};
