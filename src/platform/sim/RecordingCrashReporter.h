#pragma once

#include <QList>
#include <QStringList>
#include <optional>

#include "platform/CrashReporting.h"

// Crash reporting for tests: remembers every call. It answers like a started reporter whether or
// not start() was called, so code under test never has to start it first.
class RecordingCrashReporter final : public CrashReporting {
public:
    void start(const CrashReportingOptions& options) override;
    std::optional<QString> captureMessage(const QString& message) override;
    void addBreadcrumb(const Breadcrumb& breadcrumb) override;

    // The options of the last start(), and how many times it ran.
    std::optional<CrashReportingOptions> startOptions() const { return m_startOptions; }
    int startCount() const { return m_startCount; }
    QStringList messages() const { return m_messages; }
    // The ids handed out, one per message, in order.
    QStringList eventIds() const { return m_eventIds; }
    QList<Breadcrumb> breadcrumbs() const { return m_breadcrumbs; }
    void clear();

private:
    std::optional<CrashReportingOptions> m_startOptions;
    int m_startCount = 0;
    QStringList m_messages;
    QStringList m_eventIds;
    QList<Breadcrumb> m_breadcrumbs;
};
