#pragma once

#include <QList>
#include <QWidget>

#include "models/Shortcut.h"

class QListWidget;

// The Shortcuts tab: the built-in catalogue, read-only, one row per entry with its name and the
// Mac keys. Always the built-in entries, whatever the loaded catalogue holds.
class ShortcutsSettingsView : public QWidget {
    Q_OBJECT
public:
    explicit ShortcutsSettingsView(QWidget* parent = nullptr);

    const QList<Shortcut>& shortcuts() const { return m_shortcuts; }
    QListWidget* list() const { return m_list; }
    int rowCount() const;
    QWidget* rowWidget(int row) const;

private:
    QList<Shortcut> m_shortcuts;
    QListWidget* m_list = nullptr;
};
