#include "services/SentryBridge.h"

#include "platform/CrashReporting.h"

std::optional<QString> SentryBridge::captureMessage(const QString& message) {
    return m_reporting.captureMessage(message);
}
