#include "services/Cancellation.h"

void Cancellation::cancel() {
    if (m_cancelled) {
        return;
    }
    m_cancelled = true;
    emit cancelled();
}
