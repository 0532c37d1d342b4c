#pragma once

#include <QString>
#include <optional>

// This application as a login item: registered, it starts when the user logs in. Each call
// answers nothing on success and the error's text on failure. Main thread only.
class LoginItem {
public:
    virtual ~LoginItem() = default;
    virtual std::optional<QString> registerItem() = 0;
    virtual std::optional<QString> unregisterItem() = 0;
};
