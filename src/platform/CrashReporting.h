#pragma once

#include <QString>
#include <optional>

// Breadcrumb and message levels of the crash-reporting service.
enum class CrashReportingLevel { None = 0, Debug = 1, Info = 2, Warning = 3, Error = 4, Fatal = 5 };

struct CrashReportingOptions {
    QString dsn;
    bool debug = false;
    double tracesSampleRate = 0.0;
};

struct Breadcrumb {
    CrashReportingLevel level = CrashReportingLevel::Info;
    QString category;
    QString message;
    QString type;
};

// The crash-reporting SDK as the program uses it: started once, then text messages and
// breadcrumbs. Calls return at once; delivery happens elsewhere. Main thread only.
class CrashReporting {
public:
    virtual ~CrashReporting() = default;
    virtual void start(const CrashReportingOptions& options) = 0;
    // Returns the new event's id (32 lower-case hexadecimal digits), or nothing when not started.
    virtual std::optional<QString> captureMessage(const QString& message) = 0;
    virtual void addBreadcrumb(const Breadcrumb& breadcrumb) = 0;
};
