#pragma once

#include <optional>

#include "platform/Updater.h"

// An updater that tests steer by hand: whether it starts, whether it is ready, and what it
// reports to its delegate. It counts the probes and interactive checks it is asked for.
class SimUpdater final : public Updater {
public:
    void setDelegate(UpdaterDelegate* delegate) override { m_delegate = delegate; }
    void setUpdateCheckInterval(double seconds) override { m_interval = seconds; }
    double updateCheckInterval() const override { return m_interval; }
    std::optional<QString> start() override;
    bool canCheckForUpdates() const override { return m_canCheck; }
    void checkForUpdateInformation() override { ++m_probeCount; }
    void checkForUpdates() override { ++m_interactiveCount; }

    // What the next start() answers (nothing: success).
    void setStartError(std::optional<QString> error) { m_startError = std::move(error); }
    void setCanCheckForUpdates(bool canCheck) { m_canCheck = canCheck; }

    int startCount() const { return m_startCount; }
    int probeCount() const { return m_probeCount; }
    int interactiveCount() const { return m_interactiveCount; }
    UpdaterDelegate* delegate() const { return m_delegate; }

    // Deliver a result to the delegate, as the framework would after a check.
    void reportValidUpdate(const AppcastItem& item);
    void reportAbort(const QString& description);
    void reportDownloadFailure(const AppcastItem& item, const QString& description);

private:
    UpdaterDelegate* m_delegate = nullptr;
    double m_interval = 86400;
    std::optional<QString> m_startError;
    bool m_canCheck = true;
    int m_startCount = 0;
    int m_probeCount = 0;
    int m_interactiveCount = 0;
};
