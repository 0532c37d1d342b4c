#pragma once

#include <QWidget>

#include "models/Shortcut.h"

class KeySequence;
class QLabel;
class SymbolView;

// One catalogue entry as a line of a list: category symbol, name over description, then the
// Windows keys, an arrow and the Mac keys at the right edge. Draws every entry the same way,
// enabled or not, and reacts to no click.
class ShortcutRow : public QWidget {
    Q_OBJECT
public:
    explicit ShortcutRow(const Shortcut& shortcut, QWidget* parent = nullptr);

    const Shortcut& shortcut() const { return m_shortcut; }
    SymbolView* categoryIcon() const { return m_icon; }
    QLabel* nameLabel() const { return m_name; }
    QLabel* descriptionLabel() const { return m_description; }
    KeySequence* windowsKeys() const { return m_windowsKeys; }
    SymbolView* arrow() const { return m_arrow; }
    KeySequence* macKeys() const { return m_macKeys; }

private:
    Shortcut m_shortcut;
    SymbolView* m_icon = nullptr;
    QLabel* m_name = nullptr;
    QLabel* m_description = nullptr;
    KeySequence* m_windowsKeys = nullptr;
    SymbolView* m_arrow = nullptr;
    KeySequence* m_macKeys = nullptr;
};
