#include "views/main/EngineStatus.h"

#include "platform/Accessibility.h"
#include "platform/EventServices.h"
#include "views/shared/Style.h"

namespace EngineStatuses {

QColor color(EngineStatus status) {
    switch (status) {
        case EngineStatus::active:
            return Style::green();
        case EngineStatus::standby:
            return Style::accent();
        case EngineStatus::paused:
            return Style::orange();
        case EngineStatus::noPermission:
            return Style::red();
    }
    return Style::accent();
}

QString icon(EngineStatus status) {
    switch (status) {
        case EngineStatus::active:
            return QStringLiteral("power.circle.fill");
        case EngineStatus::standby:
            return QStringLiteral("power.circle");
        case EngineStatus::paused:
            return QStringLiteral("pause.circle.fill");
        case EngineStatus::noPermission:
            return QStringLiteral("exclamationmark.triangle.fill");
    }
    return {};
}

QString label(EngineStatus status) {
    switch (status) {
        case EngineStatus::active:
            return QStringLiteral("Monitoring Excel");
        case EngineStatus::standby:
            return QStringLiteral("Ready");
        case EngineStatus::paused:
            return QStringLiteral("Paused");
        case EngineStatus::noPermission:
            return QStringLiteral("Permissions Required");
    }
    return {};
}

QString description(EngineStatus status) {
    switch (status) {
        case EngineStatus::active:
            return QStringLiteral("Shortcuts are live and tracking your activity.");
        case EngineStatus::standby:
            return QStringLiteral("Open Excel to activate shortcuts.");
        case EngineStatus::paused:
            return QStringLiteral("Shortcuts paused. Click the icon to resume.");
        case EngineStatus::noPermission:
            return QStringLiteral("Permissions required to activate shortcuts. Grant access below.");
    }
    return {};
}

QString buttonHelp(EngineStatus status) {
    switch (status) {
        case EngineStatus::active:
            return QStringLiteral("Click to pause");
        case EngineStatus::standby:
            return QStringLiteral("Click to open Excel");
        case EngineStatus::paused:
            return QStringLiteral("Click to resume");
        case EngineStatus::noPermission:
            return QStringLiteral("Restore accessibility permission");
    }
    return {};
}

EngineStatus evaluate(const Accessibility& accessibility, const EventServices& events, bool isPaused,
                      bool isExcelRunning) {
    if (!accessibility.isProcessTrusted()) {
        return EngineStatus::noPermission;
    }
    if (!events.preflightListenEventAccess()) {
        return EngineStatus::noPermission;
    }
    if (isPaused) {
        return EngineStatus::paused;
    }
    return isExcelRunning ? EngineStatus::active : EngineStatus::standby;
}

PowerTapAction powerTapAction(EngineStatus status) {
    switch (status) {
        case EngineStatus::active:
            return PowerTapAction::pause;
        case EngineStatus::standby:
            return PowerTapAction::openExcel;
        case EngineStatus::paused:
            return PowerTapAction::resume;
        case EngineStatus::noPermission:
            return PowerTapAction::promptAccessibility;
    }
    return PowerTapAction::promptAccessibility;
}

}  // namespace EngineStatuses
