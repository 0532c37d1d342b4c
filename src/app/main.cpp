#include <QApplication>
#include <QFileInfo>
#include <cstdio>

#include "app/AppConfiguration.h"
#include "app/AppDelegate.h"
#include "app/AppServices.h"
#include "app/SingleInstance.h"
#include "app/StatusBarManager.h"
#include "app/TerminationSignals.h"
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
    // Destroyed after everything below: the socket goes and the lock is released only once the
    // services have finished their work.
    SingleInstance instance(config.instanceName, QFileInfo(config.defaultsPath).absolutePath());
    switch (instance.start()) {
        case SingleInstance::Start::Running:
            break;
        case SingleInstance::Start::HandedOver:
            return 0;
        case SingleInstance::Start::NoAnswer:
            std::fputs("Keyloom is already running but does not answer.\n", stderr);
            return 1;
        case SingleInstance::Start::NoLock:
            // Two copies on one settings file would undo each other's writes.
            std::fprintf(stderr, "Keyloom cannot make sure it is the only copy using its settings (%s); exiting.\n",
                         qPrintable(instance.problem()));
            return 1;
    }
    // From here on SIGTERM and SIGINT quit as "Quit" does, once the event loop runs. (A later start
    // waiting for the running instance above keeps their default action.)
    TerminationSignals terminationSignals([] { QCoreApplication::quit(); });

    AppServices services(config);
    AppDelegate delegate(services);
    QObject::connect(&instance, &SingleInstance::reopenRequested, &delegate, [&delegate] {
        const WindowManager* windows = delegate.windowManager();
        delegate.applicationShouldHandleReopen(windows && windows->hasVisibleWindows());
    });
    delegate.applicationDidFinishLaunching();
    return QApplication::exec();
}
