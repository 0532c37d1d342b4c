#include "services/LaunchAtLoginService.h"

#include "platform/Console.h"
#include "platform/LoginItem.h"

void LaunchAtLoginService::setEnabled(bool enabled) {
    const auto error = enabled ? m_loginItem.registerItem() : m_loginItem.unregisterItem();
    if (error) {
        m_console.print(QStringLiteral("[LaunchAtLogin] Error: ") + *error);
    }
}
