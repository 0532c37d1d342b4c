#include "MainWindowHarness.h"

#include <QCoro/QCoroTask>
#include <QLineEdit>
#include <QTest>

#include "views/main/ShortcutListDetailView.h"
#include "views/main/ShortcutSearchField.h"

MainWindowHarness::MainWindowHarness()
    : api(network, server.url(), BundleInfo::current()),
      diagnostics(BundleInfo::current(), defaults, session.accessibility(), session.events(), session.workspace(),
                  usage, scheduler) {
    defaults.setString(QStringLiteral("5f3c2a1b-0d4e-4f6a-8b7c-9d0e1f2a3b4c"), QStringLiteral("deviceId"));
    session.setAccessibilityTrusted(true);
    session.setInputMonitoringGranted(true);
}

MainWindowHarness::~MainWindowHarness() {
    view.reset();
}

MainWindowView& MainWindowHarness::open(QSize size) {
    MainWindowView::Services services{settings,
                                      repository,
                                      flags,
                                      updater,
                                      usage,
                                      session.workspace(),
                                      session.accessibility(),
                                      session.events(),
                                      scheduler,
                                      launchAtLogin,
                                      api,
                                      BundleInfo::current(),
                                      keyMonitor,
                                      diagnostics,
                                      QStringLiteral("help@keyloom.example")};
    view = std::make_unique<MainWindowView>(services);
    view->resize(size);
    view->show();
    return *view;
}

void MainWindowHarness::loadBuiltInCatalogue() {
    QCoro::waitFor(repository.load());
    ASSERT_EQ(repository.shortcuts().size(), 68);
}

void MainWindowHarness::clickAt(QWidget* widget) {
    const QPoint pos = widget->mapTo(view.get(), widget->rect().center());
    QTest::mouseClick(view->windowHandle(), Qt::LeftButton, {}, pos);
}

void MainWindowHarness::typeSearch(const QString& text) {
    QLineEdit* edit = view->shortcutList()->searchField()->lineEdit();
    edit->setFocus();
    QTest::keyClicks(edit, text);
}
