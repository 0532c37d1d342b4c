#include <gtest/gtest.h>

#include <QAction>
#include <QGuiApplication>
#include <QMenu>
#include <QScreen>
#include <functional>

#include "AppHarness.h"
#include "app/StatusBarManager.h"
#include "app/WindowManager.h"
#include "engine/ShortcutEngine.h"
#include "models/AppSettings.h"
#include "platform/sim/SimEventServices.h"
#include "platform/sim/SimSession.h"
#include "platform/sim/SimSpreadsheet.h"

using namespace Qt::StringLiterals;

namespace {

class StatusMenuTest : public ::testing::Test, public AppTestBase {
protected:
    void SetUp() override {
        app = makeApp();
        app->launch();
        status = app->delegate->statusBarManager();
        windows = app->delegate->windowManager();
    }

    // Clicks the status item and chooses the entry titled `title`.
    void choose(const QString& title) {
        status->handleClick(QSystemTrayIcon::Trigger);
        ASSERT_NE(status->menu(), nullptr);
        for (QAction* action : status->menu()->actions()) {
            if (action->text() == title) {
                action->trigger();
                status->menu()->hide();
                app->scheduler.runPending();
                return;
            }
        }
        FAIL() << "no menu entry " << title.toStdString();
    }

    QStringList menuTitles() {
        status->handleClick(QSystemTrayIcon::Trigger);
        QStringList titles;
        if (QMenu* menu = status->menu()) {
            for (QAction* action : menu->actions()) {
                titles.append(action->isSeparator() ? u"—"_s : action->text());
            }
            menu->hide();
        }
        return titles;
    }

    int tapCount() { return int(app->services->session().simEvents().taps().size()); }

    std::unique_ptr<AppHarness> app;
    StatusBarManager* status = nullptr;
    WindowManager* windows = nullptr;
};

}  // namespace

TEST_F(StatusMenuTest, EachLeftClickBuildsTheMenuAfreshAndRightClicksDoNothing) {
    status->handleClick(QSystemTrayIcon::Context);
    EXPECT_EQ(status->menu(), nullptr);

    status->handleClick(QSystemTrayIcon::Trigger);
    QMenu* menu = status->menu();
    ASSERT_NE(menu, nullptr);
    const QList<QAction*> actions = menu->actions();
    ASSERT_EQ(actions.size(), 5);
    EXPECT_EQ(actions[0]->text(), u"Open Keyloom"_s);
    EXPECT_TRUE(actions[0]->shortcut().isEmpty());
    EXPECT_EQ(actions[1]->text(), u"Settings"_s);
    EXPECT_EQ(actions[1]->shortcut(), QKeySequence(Qt::CTRL | Qt::Key_Comma));
    EXPECT_EQ(actions[2]->text(), u"Pause Shortcuts"_s);
    EXPECT_EQ(actions[2]->shortcut(), QKeySequence(Qt::CTRL | Qt::Key_P));
    EXPECT_TRUE(actions[3]->isSeparator());
    EXPECT_EQ(actions[4]->text(), u"Quit"_s);
    EXPECT_EQ(actions[4]->shortcut(), QKeySequence(Qt::CTRL | Qt::Key_Q));
    EXPECT_TRUE(actions[4]->isShortcutVisibleInContextMenu());

    // Closed, the menu is gone; the next click makes a new one.
    menu->hide();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_EQ(status->menu(), nullptr);
}

TEST_F(StatusMenuTest, PauseAndResumeThroughTheMenu) {
    ASSERT_EQ(tapCount(), 1);
    choose(u"Pause Shortcuts"_s);

    EXPECT_TRUE(app->delegate->settings().isPaused());
    EXPECT_EQ(tapCount(), 0);
    EXPECT_FALSE(app->delegate->engine()->isActive());
    EXPECT_EQ(status->symbolName(), u"command.square"_s);
    EXPECT_TRUE(status->appearsDisabled());

    // Paused, Alt passes straight through to the spreadsheet.
    SimSession& session = app->services->session();
    auto excel = std::make_shared<SimSpreadsheet>();
    session.launch(excel);
    EXPECT_TRUE(session.flagsChanged(EventFlags::Option));
    session.flagsChanged(0);

    EXPECT_EQ(menuTitles(), (QStringList{u"Open Keyloom"_s, u"Settings"_s, u"Resume Shortcuts"_s, u"—"_s, u"Quit"_s}));
    choose(u"Resume Shortcuts"_s);
    EXPECT_FALSE(app->delegate->settings().isPaused());
    EXPECT_EQ(tapCount(), 1);
    EXPECT_TRUE(app->delegate->engine()->isActive());
    EXPECT_EQ(status->symbolName(), u"command.square.fill"_s);
    EXPECT_FALSE(status->appearsDisabled());
    EXPECT_FALSE(session.flagsChanged(EventFlags::Option));  // the engine swallows Option in Excel again
}

TEST_F(StatusMenuTest, EveryDefaultsWriteStopsOrStartsTheEngine) {
    UserDefaults& defaults = app->defaults;
    defaults.setBool(true, u"isPaused"_s);
    EXPECT_EQ(tapCount(), 0);
    EXPECT_EQ(status->symbolName(), u"command.square"_s);

    // An unrelated write while paused stops the engine again (and harmlessly).
    const qsizetype stopsBefore = app->console.lines().count(u"[Engine] Stopped"_s);
    defaults.setString(u"Ada"_s, u"profileName"_s);
    EXPECT_EQ(app->console.lines().count(u"[Engine] Stopped"_s), stopsBefore + 1);
    EXPECT_EQ(tapCount(), 0);

    defaults.setBool(false, u"isPaused"_s);
    EXPECT_EQ(tapCount(), 1);
    defaults.setString(u"Bob"_s, u"profileName"_s);
    EXPECT_EQ(tapCount(), 1);  // already running: no second tap
    EXPECT_EQ(status->symbolName(), u"command.square.fill"_s);
}

TEST_F(StatusMenuTest, OpenKeyloomAndSettingsReuseVisibleWindowsAndReplaceClosedOnes) {
    QPointer<QWidget> main = windows->mainWindow();
    ASSERT_TRUE(main);
    choose(u"Open Keyloom"_s);
    EXPECT_EQ(windows->mainWindow(), main.data());

    main->close();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_FALSE(main);  // a closed window is released
    EXPECT_FALSE(windows->hasVisibleWindows());
    choose(u"Open Keyloom"_s);
    ASSERT_NE(windows->mainWindow(), nullptr);
    EXPECT_TRUE(windows->mainWindow()->isVisible());

    choose(u"Settings"_s);
    QWidget* settings = windows->settingsWindow();
    ASSERT_NE(settings, nullptr);
    EXPECT_EQ(settings->windowTitle(), u"Settings"_s);
    EXPECT_EQ(settings->size(), QSize(480, 320));
    EXPECT_EQ(settings->minimumSize(), settings->maximumSize());  // not resizable
    choose(u"Settings"_s);
    EXPECT_EQ(windows->settingsWindow(), settings);
}

TEST_F(StatusMenuTest, MinimisedWindowsComeBackOnScreenAndActive) {
    choose(u"Settings"_s);
    const struct {
        QString entry;
        std::function<QWidget*()> window;
    } rows[] = {
        {u"Open Keyloom"_s, [this] { return windows->mainWindow(); }},
        {u"Settings"_s, [this] { return windows->settingsWindow(); }},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.entry.toStdString());
        QPointer<QWidget> window = row.window();
        ASSERT_TRUE(window);
        window->showMinimized();  // as the window manager would, or "show desktop"
        ASSERT_TRUE(window->isMinimized());
        choose(row.entry);
        QCoreApplication::processEvents();
        EXPECT_EQ(row.window(), window.data());  // the same window, not a new one
        EXPECT_FALSE(window->isMinimized());
        EXPECT_TRUE(window->isVisible());
        EXPECT_TRUE(window->isActiveWindow());
    }
}

TEST_F(StatusMenuTest, SettingsWindowCanNeitherBeMinimisedNorMaximised) {
    choose(u"Settings"_s);
    QWidget* settings = windows->settingsWindow();
    ASSERT_NE(settings, nullptr);
    EXPECT_FALSE(settings->windowFlags() & (Qt::WindowMinimizeButtonHint | Qt::WindowMaximizeButtonHint));
    // Whatever the window manager offers, the window goes back to its fixed size on screen.
    for (const Qt::WindowState state : {Qt::WindowMinimized, Qt::WindowMaximized, Qt::WindowFullScreen}) {
        settings->setWindowState(state);
        QCoreApplication::processEvents();
        EXPECT_EQ(settings->windowState() & ~Qt::WindowActive, Qt::WindowNoState) << state;
        EXPECT_TRUE(settings->isVisible());
        EXPECT_EQ(settings->size(), QSize(480, 320));
    }
}

TEST_F(StatusMenuTest, QuitEndsTheApplication) {
    int terminated = 0;
    StatusBarManager manager(app->delegate->settings(), app->console, [&] { ++terminated; });
    manager.setupStatusItem();
    manager.handleClick(QSystemTrayIcon::Trigger);
    ASSERT_NE(manager.menu(), nullptr);
    manager.menu()->actions().last()->trigger();
    EXPECT_EQ(terminated, 1);
    // Without a window manager, Open and Settings do nothing.
    manager.handleClick(QSystemTrayIcon::Trigger);
    manager.menu()->actions().first()->trigger();
    manager.menu()->actions()[1]->trigger();
}

TEST_F(StatusMenuTest, ReopenShowsTheMainWindowOnlyWhenNoneIsVisible) {
    QWidget* main = windows->mainWindow();
    EXPECT_TRUE(app->delegate->applicationShouldHandleReopen(true));
    EXPECT_EQ(windows->mainWindow(), main);

    main->close();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_TRUE(app->delegate->applicationShouldHandleReopen(windows->hasVisibleWindows()));
    ASSERT_NE(windows->mainWindow(), nullptr);
    EXPECT_TRUE(windows->mainWindow()->isVisible());
}

TEST_F(StatusMenuTest, ReopenBringsBackAMinimisedMainWindow) {
    QPointer<QWidget> main = windows->mainWindow();
    ASSERT_TRUE(main);
    main->showMaximized();
    main->showMinimized();
    QCoreApplication::processEvents();
    // A minimised window is not on screen, so a second launch asks for the main window again.
    EXPECT_FALSE(windows->hasVisibleWindows());
    EXPECT_TRUE(app->delegate->applicationShouldHandleReopen(windows->hasVisibleWindows()));
    QCoreApplication::processEvents();
    EXPECT_EQ(windows->mainWindow(), main.data());
    EXPECT_FALSE(main->isMinimized());
    EXPECT_TRUE(main->isMaximized());  // restored to the state it had before
    EXPECT_TRUE(main->isActiveWindow());
    EXPECT_TRUE(windows->hasVisibleWindows());
}

TEST(WindowManagerTest, MainWindowTakesMostOfTheScreenAndIsCentred) {
    EXPECT_EQ(WindowManager::mainWindowSize(QRect(0, 25, 1440, 877)), QSizeF(1008, 701.6));
    EXPECT_EQ(WindowManager::mainWindowSize(std::nullopt), QSizeF(1008, 720));

    WindowManager manager([] { return new QWidget; }, [] { return new QWidget; });
    manager.showMain();
    QWidget* window = manager.mainWindow();
    ASSERT_NE(window, nullptr);
    EXPECT_EQ(window->windowTitle(), u"Keyloom"_s);
    EXPECT_GE(window->minimumWidth(), 720);
    EXPECT_GE(window->minimumHeight(), 520);
    const QRect area = QGuiApplication::primaryScreen()->availableGeometry();
    const QSizeF expected = WindowManager::mainWindowSize(area);
    EXPECT_EQ(window->width(), qMax(720, qRound(expected.width())));
    EXPECT_EQ(window->height(), qMax(520, qRound(expected.height())));
    EXPECT_LE(qAbs(window->geometry().center().x() - area.center().x()), 3);
}
