#include "platform/sim/SimUpdater.h"

std::optional<QString> SimUpdater::start() {
    ++m_startCount;
    return m_startError;
}

void SimUpdater::reportValidUpdate(const AppcastItem& item) {
    if (m_delegate) {
        m_delegate->didFindValidUpdate(item);
    }
}

void SimUpdater::reportAbort(const QString& description) {
    if (m_delegate) {
        m_delegate->didAbortWithError(description);
    }
}

void SimUpdater::reportDownloadFailure(const AppcastItem& item, const QString& description) {
    if (m_delegate) {
        m_delegate->failedToDownloadUpdate(item, description);
    }
}
