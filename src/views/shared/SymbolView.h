#pragma once

#include <QColor>
#include <QWidget>

// One symbol (see SymbolIcons) drawn at a font size in a colour. An unknown name draws nothing
// and reports hasGlyph() false.
class SymbolView : public QWidget {
    Q_OBJECT
public:
    SymbolView(const QString& name, double size, const QColor& color, QWidget* parent = nullptr);

    const QString& name() const { return m_name; }
    bool hasGlyph() const;
    double symbolSize() const { return m_size; }
    QColor color() const { return m_color; }

    void setName(const QString& name);
    void setColor(const QColor& color);

    QSize sizeHint() const override;
    QSize minimumSizeHint() const override { return sizeHint(); }

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    QString m_name;
    double m_size;
    QColor m_color;
};
