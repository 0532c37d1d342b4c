#pragma once

#include <QWidget>

class QPushButton;

// Covers the whole main window once an update is required: a dark layer that takes every click
// and a card whose only control is "Install Update Now". It has no way out of its own.
class MainWindowUpdateOverlay : public QWidget {
    Q_OBJECT
public:
    explicit MainWindowUpdateOverlay(QWidget* parent = nullptr);

    QWidget* card() const { return m_card; }
    QPushButton* installButton() const { return m_install; }

signals:
    void installClicked();

protected:
    void paintEvent(QPaintEvent* event) override;
    // Every click and wheel turn on the dark layer ends here.
    void mousePressEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;
    void wheelEvent(QWheelEvent* event) override;

private:
    QWidget* m_card = nullptr;
    QPushButton* m_install = nullptr;
};
