#pragma once

#include <QString>
#include <QUrl>
#include <optional>

// One entry of the update feed.
struct AppcastItem {
    QString versionString;         // the machine version compared with the running build
    QString displayVersionString;  // the version as shown to people
    QUrl link;                     // where the new version can be had (may be empty)
};

// Receives what the updater finds. Callbacks arrive on the main thread.
class UpdaterDelegate {
public:
    virtual ~UpdaterDelegate() = default;
    virtual void didFindValidUpdate(const AppcastItem& item) = 0;
    virtual void didAbortWithError(const QString& localizedDescription) = 0;
    virtual void failedToDownloadUpdate(const AppcastItem& item, const QString& localizedDescription) = 0;
};

// The self-update framework as the program uses it: created without starting, then started once,
// probed in the background and asked for its interactive check. Main thread only.
class Updater {
public:
    virtual ~Updater() = default;

    // The delegate is not owned; pass nullptr before it goes away.
    virtual void setDelegate(UpdaterDelegate* delegate) = 0;

    // Seconds between the framework's own scheduled checks, when those are enabled.
    virtual void setUpdateCheckInterval(double seconds) = 0;
    virtual double updateCheckInterval() const = 0;

    // Starts the updater: nothing on success, the error's text on failure.
    virtual std::optional<QString> start() = 0;
    // Whether a check may be started now.
    virtual bool canCheckForUpdates() const = 0;
    // A check without user interface; a newer version is reported to the delegate.
    virtual void checkForUpdateInformation() = 0;
    // The interactive check with the framework's own user interface.
    virtual void checkForUpdates() = 0;
};
