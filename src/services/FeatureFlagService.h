#pragma once

#include <QCoro/QCoroTask>
#include <QHash>
#include <QObject>
#include <QString>

class APIClient;

// The installation's remote feature flags: string keys to string values, exactly as served.
// Nothing in the app interprets them; observers read them. Main thread only.
//
// Observers get objectWillChange() before the dictionary is replaced and flagsChanged() after.
class FeatureFlagService : public QObject {
    Q_OBJECT
    Q_PROPERTY(QHash<QString, QString> flags READ flags NOTIFY flagsChanged)

public:
    // The flags start empty.
    explicit FeatureFlagService(APIClient& client, QObject* parent = nullptr);

    const QHash<QString, QString>& flags() const { return m_flags; }

    // Fetches the flags and replaces them in one step; never throws. On any failure the previous
    // flags stay, silently. When a reply repeats a key, the last value wins.
    QCoro::Task<void> load();

signals:
    void objectWillChange();
    void flagsChanged();

private:
    APIClient& m_client;
    QHash<QString, QString> m_flags;
};
