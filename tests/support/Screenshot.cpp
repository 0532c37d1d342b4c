#include "support/Screenshot.h"

#include <QApplication>
#include <QDir>
#include <QPixmap>
#include <QWidget>

QString saveScreenshot(QWidget& widget, const QString& name) {
    QString folder = qEnvironmentVariable("KEYLOOM_SCREENSHOT_DIR");
    if (folder.isEmpty()) {
        folder = QDir::currentPath();
    }
    if (!QDir().mkpath(folder)) {
        return {};
    }
    if (!widget.isVisible()) {
        widget.show();
    }
    // Pending layouts and repaints first, so the picture shows the final geometry.
    QApplication::processEvents();
    const QString path = QDir(folder).filePath(name + QStringLiteral(".png"));
    return widget.grab().save(path) ? path : QString();
}
