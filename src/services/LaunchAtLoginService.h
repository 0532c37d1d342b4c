#pragma once

class Console;
class LoginItem;

// Registers or unregisters the application as a login item. Keeps no state: the caller keeps
// its own setting whatever the outcome. Main thread only.
class LaunchAtLoginService {
public:
    LaunchAtLoginService(LoginItem& loginItem, Console& console) : m_loginItem(loginItem), m_console(console) {}

    // A refusal is printed as one "[LaunchAtLogin] Error: " line; nothing is retried.
    void setEnabled(bool enabled);

private:
    LoginItem& m_loginItem;
    Console& m_console;
};
