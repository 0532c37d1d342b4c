#pragma once

#include <QString>

class QWidget;

// Writes the widget as "<name>.png" into the folder named by KEYLOOM_SCREENSHOT_DIR (the current
// folder when unset), creating the folder. Lays the widget out first. Returns the file's path, or
// an empty string when it could not be written.
QString saveScreenshot(QWidget& widget, const QString& name);
