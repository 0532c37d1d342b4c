#pragma once

#include "platform/Workspace.h"

class SimSession;

// The workspace of a simulated session. Installed applications have URLs of the form
// "sim-app:<bundle identifier>". Every URL it is asked to open is recorded by the session.
class SimWorkspace final : public Workspace {
public:
    explicit SimWorkspace(SimSession& session);

    QList<RunningApplication> runningApplications() const override;
    std::optional<RunningApplication> frontmostApplication() const override;

    bool openURL(const QUrl& url) override;
    std::optional<QUrl> urlForApplication(const QString& bundleIdentifier) const override;
    bool openApplication(const QUrl& url) override;

    void setActivationPolicy(ActivationPolicy policy) override { m_policy = policy; }
    ActivationPolicy activationPolicy() const override { return m_policy; }

    static constexpr QLatin1String applicationScheme{"sim-app"};

private:
    SimSession& m_session;
    ActivationPolicy m_policy = ActivationPolicy::Regular;
};
