#include "platform/sim/SimLoginItem.h"

std::optional<QString> SimLoginItem::registerItem() {
    ++m_registerCount;
    if (m_failure) {
        return m_failure;
    }
    m_registered = true;
    return std::nullopt;
}

std::optional<QString> SimLoginItem::unregisterItem() {
    ++m_unregisterCount;
    if (m_failure) {
        return m_failure;
    }
    m_registered = false;
    return std::nullopt;
}
