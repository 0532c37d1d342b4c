#include "platform/sim/RecordingCrashReporter.h"

#include <QUuid>

void RecordingCrashReporter::start(const CrashReportingOptions& options) {
    m_startOptions = options;
    ++m_startCount;
}

std::optional<QString> RecordingCrashReporter::captureMessage(const QString& message) {
    const QString id = QUuid::createUuid().toString(QUuid::Id128);
    m_messages.append(message);
    m_eventIds.append(id);
    return id;
}

void RecordingCrashReporter::addBreadcrumb(const Breadcrumb& breadcrumb) {
    m_breadcrumbs.append(breadcrumb);
}

void RecordingCrashReporter::clear() {
    m_messages.clear();
    m_eventIds.clear();
    m_breadcrumbs.clear();
}
