#pragma once

#include "platform/LoginItem.h"

// A login item in memory. A failure set by the test is answered by every call until cleared,
// and leaves the registration as it was.
class SimLoginItem final : public LoginItem {
public:
    std::optional<QString> registerItem() override;
    std::optional<QString> unregisterItem() override;

    void setFailure(std::optional<QString> error) { m_failure = std::move(error); }
    bool isRegistered() const { return m_registered; }
    int registerCount() const { return m_registerCount; }
    int unregisterCount() const { return m_unregisterCount; }

private:
    std::optional<QString> m_failure;
    bool m_registered = false;
    int m_registerCount = 0;
    int m_unregisterCount = 0;
};
