#include "services/SparkleLogger.h"

#include "platform/Console.h"
#include "platform/Scheduler.h"

void SparkleLogger::didFindValidUpdate(const AppcastItem& item) {
    m_console.print(QStringLiteral("[Sparkle] Update found: ") + item.displayVersionString + QStringLiteral(" (") +
                    item.versionString + QStringLiteral(")"));
    // The callback is copied: it must still run safely if this logger is gone by then.
    if (auto callback = onUpdateFound) {
        m_scheduler.post(std::move(callback));
    }
}

void SparkleLogger::didAbortWithError(const QString& localizedDescription) {
    m_console.print(QStringLiteral("[Sparkle] Aborted: ") + localizedDescription);
}

void SparkleLogger::failedToDownloadUpdate(const AppcastItem&, const QString& localizedDescription) {
    m_console.print(QStringLiteral("[Sparkle] Download failed: ") + localizedDescription);
}
