#pragma once

#include <QStringList>
#include <QWidget>

class QHBoxLayout;
class QLabel;
class QScrollArea;
class QStackedLayout;

// The box that shows the recorded keys live: a keyboard prompt while empty, else the tokens as
// chips joined by arrows in a row that scrolls sideways. It takes keyboard focus while its page is
// shown and keeps every key for itself, so typing the failing shortcut never presses a button of
// the sheet or moves the focus.
class ReportIssueCaptureBox : public QWidget {
    Q_OBJECT
public:
    explicit ReportIssueCaptureBox(QWidget* parent = nullptr);

    void setKeys(const QStringList& keys);
    QStringList keys() const { return m_keys; }
    // The chip labels in order (arrows excluded).
    QList<QLabel*> chips() const { return m_chips; }
    bool showsPrompt() const;

protected:
    bool event(QEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void keyReleaseEvent(QKeyEvent* event) override;
    void paintEvent(QPaintEvent* event) override;

private:
    QStringList m_keys;
    QStackedLayout* m_stack = nullptr;
    QWidget* m_prompt = nullptr;
    QScrollArea* m_scroll = nullptr;
    QWidget* m_row = nullptr;
    QHBoxLayout* m_rowLayout = nullptr;
    QList<QLabel*> m_chips;
};
