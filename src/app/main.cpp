#include <QApplication>
#include <QFileInfo>
#include <QMessageBox>
#include <cstdio>
#include <memory>

#include "app/AppConfiguration.h"
#include "app/AppDelegate.h"
#include "app/AppServices.h"
#include "app/SingleInstance.h"
#include "app/StatusBarManager.h"
#include "app/TerminationSignals.h"
#include "app/WindowManager.h"

#include "BuildConfig.h"

using namespace Qt::StringLiterals;

namespace {

// Said in a window, since a start from a menu or at login has no console, and on the console.
QMessageBox* makeNotice(const QString& text) {
    std::fprintf(stderr, "%s\n", qPrintable(text));
    return new QMessageBox(QMessageBox::Warning, u"Keyloom"_s, text);
}

}  // namespace

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Keyloom"));
    QApplication::setApplicationVersion(QString::fromLatin1(keyloom::build::version));
    QApplication::setWindowIcon(StatusBarManager::makeIcon(true, false, QColor(0x1f, 0x6f, 0xeb)));
    // A menu-bar application keeps running with every window closed; "Quit" ends it.
    QApplication::setQuitOnLastWindowClosed(false);

    AppConfiguration config = AppConfiguration::fromBuild();
    // Destroyed after everything below: the socket goes and the lock is released only once the
    // services have finished their work.
    SingleInstance instance(config.instanceName, QFileInfo(config.defaultsPath).absolutePath());
    switch (instance.start()) {
        case SingleInstance::Start::Running:
            break;
        case SingleInstance::Start::HandedOver:
            return 0;
        case SingleInstance::Start::NoAnswer: {
            std::unique_ptr<QMessageBox> notice(makeNotice(u"Keyloom is already running but does not answer."_s));
            notice->exec();
            return 1;
        }
    }
    // Another copy may be writing the settings file, or this one cannot: it is left as it is.
    config.defaultsInMemoryOnly = !instance.problem().isEmpty();
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
    if (config.defaultsInMemoryOnly) {
        QMessageBox* notice =
            makeNotice(u"Keyloom will not save its settings: %1. Changes made now last until Keyloom quits."_s.arg(
                instance.problem()));
        notice->setAttribute(Qt::WA_DeleteOnClose);
        notice->show();
    }
    return QApplication::exec();
}
