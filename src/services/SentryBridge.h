#pragma once

#include <QString>
#include <optional>

class CrashReporting;

// The one way the program sends a text message to crash reporting.
class SentryBridge {
public:
    explicit SentryBridge(CrashReporting& reporting) : m_reporting(reporting) {}

    // The new event's id (32 hexadecimal digits), or nothing when reporting is not running.
    std::optional<QString> captureMessage(const QString& message);

private:
    CrashReporting& m_reporting;
};
