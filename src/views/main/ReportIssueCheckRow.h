#pragma once

#include <QWidget>
#include <functional>

class QLabel;
class QPushButton;
class SymbolView;

// One line of the sheet's system checks: a green tick or an orange mark, the label over its
// detail, and an action button shown only while the check is not OK.
class ReportIssueCheckRow : public QWidget {
    Q_OBJECT
public:
    ReportIssueCheckRow(const QString& label, const QString& actionTitle, std::function<void()> onAction,
                        QWidget* parent = nullptr);

    // Redraws the row; the detail is shown verbatim.
    void setState(const QString& detail, bool ok);

    bool isOk() const { return m_ok; }
    QString label() const;
    QString detail() const;
    SymbolView* statusIcon() const { return m_icon; }
    // Visible only while the check is not OK.
    QPushButton* actionButton() const { return m_action; }

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    bool m_ok = false;
    SymbolView* m_icon = nullptr;
    QLabel* m_label = nullptr;
    QLabel* m_detail = nullptr;
    QPushButton* m_action = nullptr;
};
