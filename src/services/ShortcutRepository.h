#pragma once

#include <QCoro/QCoroTask>
#include <QList>
#include <QObject>
#include <QSet>
#include <QString>

#include "models/Shortcut.h"

class APIClient;
class UserDefaults;

// The catalogue the main window shows: the backend's, or the built-in one when the backend
// cannot deliver it. Main thread only.
//
// Observers get objectWillChange() before every assignment of a property and the property's own
// changed signal after it, on every assignment (also when the value is the same).
class ShortcutRepository : public QObject {
    Q_OBJECT
    Q_PROPERTY(QList<Shortcut> shortcuts READ shortcuts NOTIFY shortcutsChanged)
    Q_PROPERTY(bool isLoading READ isLoading NOTIFY isLoadingChanged)
    Q_PROPERTY(bool loadedFromAPI READ loadedFromAPI NOTIFY loadedFromAPIChanged)

public:
    // Reads nothing and starts nothing; the list starts empty.
    ShortcutRepository(APIClient& client, UserDefaults& defaults, QObject* parent = nullptr);

    const QList<Shortcut>& shortcuts() const { return m_shortcuts; }
    bool isLoading() const { return m_isLoading; }
    bool loadedFromAPI() const { return m_loadedFromAPI; }

    // Publishes the backend catalogue, or on any failure the built-in one; never throws. Entries
    // whose id is listed under "disabledShortcutIDs" come out disabled. Backend records with a
    // category the app does not know are dropped.
    QCoro::Task<void> load();

signals:
    void objectWillChange();
    void shortcutsChanged();
    void isLoadingChanged();
    void loadedFromAPIChanged();

private:
    // The stored ids, read at each use; nothing when the key is absent or not a list of strings.
    QSet<QString> disabledIDs() const;

    void setShortcuts(QList<Shortcut> value);
    void setIsLoading(bool value);
    void setLoadedFromAPI(bool value);

    APIClient& m_client;
    UserDefaults& m_defaults;
    QList<Shortcut> m_shortcuts;
    bool m_isLoading = false;
    bool m_loadedFromAPI = false;
};
