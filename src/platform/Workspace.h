#pragma once

#include <QList>
#include <QString>
#include <QUrl>
#include <optional>

// One running application as the workspace lists it. Any of the three may be missing.
struct RunningApplication {
    std::optional<QString> bundleIdentifier;
    std::optional<QString> localizedName;
    qint32 processIdentifier = -1;  // -1 when the application has no process
};

enum class ActivationPolicy { Regular = 0, Accessory = 1, Prohibited = 2 };

// The shared workspace: running applications, opening URLs and applications, and the Dock
// presence (activation policy) of this application. Main thread only.
class Workspace {
public:
    virtual ~Workspace() = default;

    // In the order the platform lists them.
    virtual QList<RunningApplication> runningApplications() const = 0;
    virtual std::optional<RunningApplication> frontmostApplication() const = 0;

    // Web, mail and System Settings links. False when nothing could open the URL.
    virtual bool openURL(const QUrl& url) = 0;
    // Where the application with this bundle identifier is installed, if it is.
    virtual std::optional<QUrl> urlForApplication(const QString& bundleIdentifier) const = 0;
    // Launches (or brings forward) the application installed at `url`.
    virtual bool openApplication(const QUrl& url) = 0;

    virtual void setActivationPolicy(ActivationPolicy policy) = 0;
    virtual ActivationPolicy activationPolicy() const = 0;
};
