#pragma once

#include <QWidget>

// One key display token ("Alt", "⌃⌘V", "Format") in a small capsule, shown verbatim. Has no state
// and reacts to no click.
class KeyChip : public QWidget {
    Q_OBJECT
public:
    explicit KeyChip(const QString& key, QWidget* parent = nullptr);

    const QString& key() const { return m_key; }

    QSize sizeHint() const override;
    QSize minimumSizeHint() const override { return sizeHint(); }

    static constexpr int kHorizontalPadding = 7;
    static constexpr int kVerticalPadding = 3;

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    QString m_key;
};
