#include "platform/sim/SimWorkspace.h"

#include "platform/sim/SimSession.h"

namespace {

RunningApplication describe(const SimApplication& app) {
    return RunningApplication{app.bundleIdentifier(), app.localizedName(), app.processIdentifier()};
}

}  // namespace

SimWorkspace::SimWorkspace(SimSession& session) : m_session(session) {}

QList<RunningApplication> SimWorkspace::runningApplications() const {
    QList<RunningApplication> out;
    for (const auto& app : m_session.runningApplications()) {
        out.append(describe(*app));
    }
    return out;
}

std::optional<RunningApplication> SimWorkspace::frontmostApplication() const {
    const auto app = m_session.frontmost();
    if (!app) {
        return std::nullopt;
    }
    return describe(*app);
}

bool SimWorkspace::openURL(const QUrl& url) {
    if (!url.isValid() || url.scheme().isEmpty()) {
        return false;
    }
    m_session.recordOpenedURL(url);
    return true;
}

std::optional<QUrl> SimWorkspace::urlForApplication(const QString& bundleIdentifier) const {
    if (bundleIdentifier.isEmpty() || !m_session.isInstalled(bundleIdentifier)) {
        return std::nullopt;
    }
    // An opaque path keeps the identifier's case (a host part would be lower-cased).
    QUrl url;
    url.setScheme(applicationScheme);
    url.setPath(bundleIdentifier);
    return url;
}

bool SimWorkspace::openApplication(const QUrl& url) {
    if (url.scheme() != applicationScheme || url.path().isEmpty()) {
        return false;
    }
    return m_session.openInstalled(url.path());
}
