#include <QApplication>

#include "app/AppConfiguration.h"
#include "app/AppDelegate.h"
#include "app/AppServices.h"
#include "app/SingleInstance.h"
#include "app/StatusBarManager.h"
#include "app/WindowManager.h"

#include "BuildConfig.h"

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Keyloom"));
    QApplication::setApplicationVersion(QString::fromLatin1(keyloom::build::version));
    QApplication::setWindowIcon(StatusBarManager::makeIcon(true, false, QColor(0x1f, 0x6f, 0xeb)));
    // A menu-bar application keeps running with every window closed; "Quit" ends it.
    QApplication::setQuitOnLastWindowClosed(false);

    const AppConfiguration config = AppConfiguration::fromBuild();
    SingleInstance instance(config.instanceName);
    if (instance.notifyRunningInstance()) {
        return 0;
    }
    instance.listen();

    AppServices services(config);
    AppDelegate delegate(services);
    QObject::connect(&instance, &SingleInstance::reopenRequested, &delegate, [&delegate] {
        const WindowManager* windows = delegate.windowManager();
        delegate.applicationShouldHandleReopen(windows && windows->hasVisibleWindows());
    });
    delegate.applicationDidFinishLaunching();
    return QApplication::exec();
}
