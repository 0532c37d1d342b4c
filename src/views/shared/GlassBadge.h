#pragma once

#include <QColor>
#include <QWidget>
#include <optional>

class QLabel;
class SymbolView;

// A short coloured capsule label with an optional leading symbol. Text, symbol, fill and outline
// all take the badge's colour.
class GlassBadge : public QWidget {
    Q_OBJECT
public:
    GlassBadge(const QString& label, const QColor& color, const std::optional<QString>& icon = std::nullopt,
               QWidget* parent = nullptr);

    QString label() const;
    QColor color() const { return m_color; }
    const std::optional<QString>& icon() const { return m_icon; }
    SymbolView* iconView() const { return m_iconView; }

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    QColor m_color;
    std::optional<QString> m_icon;
    QLabel* m_label = nullptr;
    SymbolView* m_iconView = nullptr;
};
