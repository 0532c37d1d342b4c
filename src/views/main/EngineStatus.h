#pragma once

#include <QColor>
#include <QString>

class Accessibility;
class EventServices;

// Whether shortcuts work right now, as the dashboard shows it.
enum class EngineStatus { active, standby, paused, noPermission };

// What the dashboard's power button does in each status.
enum class PowerTapAction { pause, openExcel, resume, promptAccessibility };

namespace EngineStatuses {

QColor color(EngineStatus status);
QString icon(EngineStatus status);
QString label(EngineStatus status);
QString description(EngineStatus status);
QString buttonHelp(EngineStatus status);

// The status rule, first match deciding: a missing Accessibility grant, then a missing Input
// Monitoring grant (not asked when Accessibility is missing), then the pause, then whether Excel runs.
EngineStatus evaluate(const Accessibility& accessibility, const EventServices& events, bool isPaused,
                      bool isExcelRunning);

PowerTapAction powerTapAction(EngineStatus status);

}  // namespace EngineStatuses
