#pragma once

#include <QLabel>
#include <QPainterPath>

// One recorded key in the issue sheet's capture box: the token verbatim in 13 pt semibold
// monospaced type on a grey rounded rectangle. A key symbol (an arrow, ⇥, ⌫, ↩, ⌘...) is drawn
// as large as the chip's capital letters and centred on them: the monospaced font squeezes these
// glyphs into its narrow cell, small and low.
class ReportIssueKeyChip : public QLabel {
    Q_OBJECT
public:
    explicit ReportIssueKeyChip(const QString& token, QWidget* parent = nullptr);

    // One character of the Arrows or Miscellaneous Technical blocks, where the Mac's key glyphs live.
    static bool isKeySymbol(const QString& token);

    QSize sizeHint() const override;
    QSize minimumSizeHint() const override;

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    // The symbol's outline, its larger side the height of a capital letter, centred on (0, 0).
    QPainterPath symbolPath() const;
};
