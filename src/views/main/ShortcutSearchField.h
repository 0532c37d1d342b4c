#pragma once

#include <QWidget>

class QLineEdit;
class QToolButton;

// The search field of the shortcut lists: a magnifying glass, a borderless text field and, while
// there is text, a clear button. It shows the text it is given and reports the user's edits.
class ShortcutSearchField : public QWidget {
    Q_OBJECT
public:
    explicit ShortcutSearchField(QWidget* parent = nullptr);

    void setText(const QString& text);
    QString text() const;

    QLineEdit* lineEdit() const { return m_edit; }
    // Visible only while the text is not empty.
    QToolButton* clearButton() const { return m_clear; }

signals:
    // Typing or the clear button ("" then).
    void textEdited(const QString& text);

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    void updateClearButton();

    QLineEdit* m_edit = nullptr;
    QToolButton* m_clear = nullptr;
};
