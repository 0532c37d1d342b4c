#pragma once

#include <QObject>
#include <QString>

#include "platform/UserDefaults.h"

// The application's settings, kept in the user defaults. Every read goes to the defaults (so a
// write by anyone is seen at once) and gives the property's default when the key holds no value of
// the property's kind; every assignment first emits objectWillChange() and then stores its key,
// also when the value is unchanged. Main thread only.
class AppSettings : public QObject {
    Q_OBJECT
    Q_PROPERTY(bool launchAtLogin READ launchAtLogin WRITE setLaunchAtLogin NOTIFY objectWillChange)
    Q_PROPERTY(bool showInDock READ showInDock WRITE setShowInDock NOTIFY objectWillChange)
    Q_PROPERTY(bool isPaused READ isPaused WRITE setIsPaused NOTIFY objectWillChange)
    Q_PROPERTY(
        bool hasCompletedOnboarding READ hasCompletedOnboarding WRITE setHasCompletedOnboarding NOTIFY objectWillChange)
    Q_PROPERTY(bool installRegistered READ installRegistered WRITE setInstallRegistered NOTIFY objectWillChange)
    Q_PROPERTY(QString profileName READ profileName WRITE setProfileName NOTIFY objectWillChange)
    Q_PROPERTY(QString profileEmail READ profileEmail WRITE setProfileEmail NOTIFY objectWillChange)
    Q_PROPERTY(QString deviceId READ deviceId)

public:
    // Binds the properties to their keys; reads and writes nothing.
    explicit AppSettings(UserDefaults& defaults, QObject* parent = nullptr);

    bool launchAtLogin() const;
    void setLaunchAtLogin(bool value);
    bool showInDock() const;
    void setShowInDock(bool value);
    bool isPaused() const;
    void setIsPaused(bool value);
    bool hasCompletedOnboarding() const;
    void setHasCompletedOnboarding(bool value);
    bool installRegistered() const;
    void setInstallRegistered(bool value);
    QString profileName() const;
    void setProfileName(const QString& value);
    QString profileEmail() const;
    void setProfileEmail(const QString& value);
    // Where the profile stands in the defaults' file: the worse of its two values' states.
    UserDefaults::SaveState profileSaveState() const;

    // The installation's identifier: the stored string under "deviceId", returned unchanged
    // whatever it holds; on first read a new upper-case UUID is created and stored.
    QString deviceId() const;

    UserDefaults& defaults() const { return m_defaults; }

signals:
    // Sent before every assignment of a persisted property.
    void objectWillChange();

private:
    QString themeRaw() const;
    void setThemeRaw(const QString& value);

    bool readBool(const QString& key, bool fallback) const;
    QString readString(const QString& key, const QString& fallback) const;
    void write(const QString& key, const QVariant& value);

    UserDefaults& m_defaults;
};
