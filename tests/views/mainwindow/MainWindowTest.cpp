#include <QAbstractButton>
#include <QApplication>
#include <QCoro/QCoroTask>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>
#include <QToolButton>

#include "MainWindowHarness.h"
#include "models/ShortcutData.h"
#include "support/Screenshot.h"
#include "views/main/DashboardView.h"
#include "views/main/MainWindowLoadingCard.h"
#include "views/main/MainWindowSidebar.h"
#include "views/main/MainWindowUpdateOverlay.h"
#include "views/main/ReportIssueInfoPage.h"
#include "views/main/ReportIssueSheet.h"
#include "views/main/ShortcutListDetailView.h"
#include "views/main/ShortcutSearchField.h"
#include "views/settings/SettingsView.h"
#include "views/shared/ShortcutRow.h"

namespace {

QStringList names(const QList<ShortcutRow*>& rows) {
    QStringList result;
    for (ShortcutRow* row : rows) {
        result.append(row->shortcut().name);
    }
    return result;
}

QStringList names(const QList<Shortcut>& shortcuts) {
    QStringList result;
    for (const Shortcut& s : shortcuts) {
        result.append(s.name);
    }
    return result;
}

using MainWindowTest = MainWindowHarness;

TEST_F(MainWindowTest, SidebarSelectionPicksThePage) {
    loadBuiltInCatalogue();
    open();
    EXPECT_EQ(view->selectedItem(), NavItem::dashboard());
    EXPECT_EQ(view->currentPage(), view->dashboard());
    EXPECT_TRUE(view->sidebar()->buttonFor(NavItem::dashboard())->isChecked());
    saveScreenshot(*view, "main_dashboard");

    struct Case {
        NavItem item;
        QString title;
        QList<ShortcutCategory> categories;  // empty: all
    };
    const QList<Case> cases = {
        {NavItem::allShortcuts(), "All Shortcuts", {}},
        {NavItem::ofCategory(ShortcutCategory::pasteSpecial), "Paste Special", {ShortcutCategory::pasteSpecial}},
        {NavItem::ofCategory(ShortcutCategory::format), "Formatting", {ShortcutCategory::format}},
        {NavItem::ofCategory(ShortcutCategory::insertDelete), "Insert & Delete", {ShortcutCategory::insertDelete}},
        {NavItem::dataGroup(),
         "Data & Formulas",
         {ShortcutCategory::data, ShortcutCategory::formulas, ShortcutCategory::dataTools}},
        {NavItem::pivotGroup(),
         "Pivot & Review",
         {ShortcutCategory::pivot, ShortcutCategory::review, ShortcutCategory::view}},
        {NavItem::ofCategory(ShortcutCategory::essential), "Essential", {ShortcutCategory::essential}},
    };
    for (const Case& c : cases) {
        clickAt(view->sidebar()->buttonFor(c.item));
        EXPECT_EQ(view->selectedItem(), c.item) << c.title.toStdString();
        ASSERT_EQ(view->currentPage(), view->shortcutList());
        EXPECT_EQ(view->shortcutList()->titleLabel()->text(), c.title);
        QStringList expected;
        for (const Shortcut& s : repository.shortcuts()) {
            if (c.categories.isEmpty() || c.categories.contains(s.category)) {
                expected.append(s.name);
            }
        }
        EXPECT_FALSE(expected.isEmpty());
        EXPECT_EQ(names(view->shortcutList()->rows()), expected) << c.title.toStdString();
    }
    clickAt(view->sidebar()->buttonFor(NavItem::settings()));
    EXPECT_EQ(view->currentPage(), view->settingsPage());
    clickAt(view->sidebar()->buttonFor(NavItem::dashboard()));
    EXPECT_EQ(view->currentPage(), view->dashboard());

    // The sidebar's own symbols; only "Paste Special" shares its category's.
    QStringList symbols;
    for (const MainWindowSidebar::Row& row : MainWindowSidebar::rows()) {
        symbols.append(row.symbol);
    }
    EXPECT_EQ(symbols, (QStringList{"house.fill", "list.bullet", "doc.on.clipboard", "paintbrush", "plus.slash.minus",
                                    "function", "chart.bar.xaxis", "star", "gear"}));
    EXPECT_EQ(view->sidebar()->sectionHeader()->text(), "Categories");
}

TEST(ShortcutFilterTest, SearchExamples) {
    const QList<Shortcut> all = ShortcutData::all();
    // "alth": keys run together, so every Alt, H, … sequence matches.
    QStringList altH;
    for (const Shortcut& s : all) {
        if (s.windowsKeys.size() >= 2 && s.windowsKeys[0] == "Alt" && s.windowsKeys[1] == "H") {
            altH.append(s.name);
        }
    }
    ASSERT_FALSE(altH.isEmpty());
    const QStringList alth = names(ShortcutListDetailView::filtered(all, {}, "alth"));
    for (const QString& name : altH) {
        EXPECT_TRUE(alth.contains(name)) << name.toStdString();
    }
    // "alt h" with a space matches no key list, only names or descriptions that contain it.
    for (const Shortcut& s : ShortcutListDetailView::filtered(all, {}, "alt h")) {
        EXPECT_TRUE(s.name.toLower().contains("alt h") || s.description.toLower().contains("alt h"));
    }
    EXPECT_EQ(names(ShortcutListDetailView::filtered(all, {}, "PASTE")),
              names(ShortcutListDetailView::filtered(all, {}, "paste")));
    EXPECT_FALSE(ShortcutListDetailView::filtered(all, {}, "paste").isEmpty());

    // A single space is a real query.
    const QList<Shortcut> spaced = ShortcutListDetailView::filtered(all, {}, " ");
    for (const Shortcut& s : spaced) {
        EXPECT_TRUE(s.name.contains(' ') || s.description.contains(' ') || s.windowsKeys.join("").contains(' ') ||
                    s.macKeys.join("").contains(' '));
    }
    EXPECT_EQ(ShortcutListDetailView::filtered(all, {}, "").size(), all.size());

    // Full Unicode lower-casing of the query, and the categories' order does not matter.
    Shortcut german{"x1", ShortcutCategory::data, "Straße füllen", "Ä", {"Alt"}, {"⌘"}, true};
    Shortcut other{"x2", ShortcutCategory::view, "Other", "", {}, {}, true};
    EXPECT_EQ(names(ShortcutListDetailView::filtered({german, other}, {}, "STRASSE")), QStringList{});
    EXPECT_EQ(names(ShortcutListDetailView::filtered({german, other}, {}, "FÜLLEN")), QStringList{"Straße füllen"});
    EXPECT_EQ(
        names(ShortcutListDetailView::filtered({german, other}, {ShortcutCategory::view, ShortcutCategory::data}, "")),
        (QStringList{"Straße füllen", "Other"}));
    EXPECT_EQ(names(ShortcutListDetailView::filtered({german, other}, {}, "alt⌘")), QStringList{});
    EXPECT_EQ(names(ShortcutListDetailView::filtered({german, other}, {}, "⌘")), QStringList{"Straße füllen"});
    EXPECT_EQ(names(ShortcutListDetailView::filtered({german, other}, {}, " ")), QStringList{"Straße füllen"});
}

TEST_F(MainWindowTest, SearchFiltersClearsAndEmptiesOnPageChange) {
    loadBuiltInCatalogue();
    open();
    clickAt(view->sidebar()->buttonFor(NavItem::ofCategory(ShortcutCategory::format)));
    const int formatCount = static_cast<int>(view->shortcutList()->rows().size());
    QWidget* field = view->shortcutList()->searchField();
    const int fieldHeight = field->height();
    typeSearch("bor");
    EXPECT_EQ(view->searchText(), "bor");
    EXPECT_FALSE(view->shortcutList()->searchField()->clearButton()->isHidden());
    QCoreApplication::sendPostedEvents(nullptr, QEvent::LayoutRequest);
    EXPECT_EQ(field->height(), fieldHeight);  // the clear button does not make the list below jump
    EXPECT_GT(view->shortcutList()->rows().size(), 0);
    EXPECT_LT(view->shortcutList()->rows().size(), formatCount);
    for (ShortcutRow* row : view->shortcutList()->rows()) {
        EXPECT_EQ(row->shortcut().category, ShortcutCategory::format);
    }
    saveScreenshot(*view, "main_list_search");

    clickAt(view->sidebar()->buttonFor(NavItem::ofCategory(ShortcutCategory::essential)));
    EXPECT_EQ(view->shortcutList()->titleLabel()->text(), "Essential");
    EXPECT_TRUE(view->searchText().isEmpty());
    EXPECT_TRUE(view->shortcutList()->searchField()->text().isEmpty());
    EXPECT_TRUE(view->shortcutList()->searchField()->clearButton()->isHidden());
    EXPECT_EQ(view->shortcutList()->rows().size(),
              ShortcutListDetailView::filtered(repository.shortcuts(), {ShortcutCategory::essential}, "").size());

    // Nothing matches: the empty state quotes the text as typed.
    typeSearch("ZzQ");
    EXPECT_TRUE(view->shortcutList()->showsEmptyState());
    EXPECT_EQ(view->shortcutList()->emptyStateLabel()->text(), "No results for \"ZzQ\"");
    saveScreenshot(*view, "main_list_no_results");

    QTest::mouseClick(view->shortcutList()->searchField()->clearButton(), Qt::LeftButton);
    EXPECT_TRUE(view->searchText().isEmpty());
    EXPECT_FALSE(view->shortcutList()->showsEmptyState());
}

TEST_F(MainWindowTest, LoadingCardAndEmptyCatalogue) {
    api.configure("install-1", "secret-1");
    CannedResponse slow;
    slow.body = R"({"version": 3, "shortcuts": []})";
    slow.delaySeconds = 0.4;
    server.route("/api/v1/shortcuts", slow);
    open();
    clickAt(view->sidebar()->buttonFor(NavItem::allShortcuts()));
    EXPECT_TRUE(view->loadingCard()->isHidden());

    QCoro::Task<void> loading = repository.load();
    ASSERT_TRUE(repository.isLoading());
    // An empty list while loading: no empty-state text, the card in the middle of the window.
    EXPECT_FALSE(view->loadingCard()->isHidden());
    EXPECT_FALSE(view->shortcutList()->showsEmptyState());
    EXPECT_TRUE(view->shortcutList()->rows().isEmpty());
    EXPECT_EQ(view->loadingCard()->geometry().center(), view->rect().center());
    saveScreenshot(*view, "main_loading");

    QCoro::waitFor(std::move(loading));
    EXPECT_TRUE(view->loadingCard()->isHidden());
    EXPECT_TRUE(view->shortcutList()->showsEmptyState());
    EXPECT_EQ(view->shortcutList()->emptyStateLabel()->text(), "No shortcuts available.");
    saveScreenshot(*view, "main_empty_catalogue");
}

TEST_F(MainWindowTest, DeviceIdBarShowsEightCapitalsAndSelectsNothing) {
    open();
    QLabel* bar = view->sidebar()->deviceIdLabel();
    EXPECT_EQ(bar->text(), "5F3C2A1B");
    EXPECT_TRUE(bar->textInteractionFlags().testFlag(Qt::TextSelectableByMouse));
    clickAt(view->sidebar()->buttonFor(NavItem::pivotGroup()));
    clickAt(bar);
    EXPECT_EQ(view->selectedItem(), NavItem::pivotGroup());

    defaults.setString("ab", "deviceId");
    EXPECT_EQ(bar->text(), "AB");
}

TEST_F(MainWindowTest, ReportIssueOpensTheSheetAndKeepsTheSelection) {
    loadBuiltInCatalogue();
    open();
    clickAt(view->sidebar()->buttonFor(NavItem::ofCategory(ShortcutCategory::format)));
    clickAt(view->sidebar()->reportIssueButton());
    EXPECT_TRUE(view->showReportIssue());
    ASSERT_NE(view->reportIssueSheet(), nullptr);
    EXPECT_TRUE(view->reportIssueSheet()->isVisible());
    EXPECT_EQ(view->reportIssueSheet()->windowModality(), Qt::WindowModal);
    EXPECT_EQ(view->selectedItem(), NavItem::ofCategory(ShortcutCategory::format));
    EXPECT_TRUE(view->sidebar()->buttonFor(NavItem::ofCategory(ShortcutCategory::format))->isChecked());

    QPointer<ReportIssueSheet> sheet = view->reportIssueSheet();
    QTest::mouseClick(sheet->infoPage()->cancelButton(), Qt::LeftButton);
    EXPECT_FALSE(view->showReportIssue());
    EXPECT_EQ(view->reportIssueSheet(), nullptr);
    ASSERT_TRUE(QTest::qWaitFor([&] { return sheet.isNull(); }, 2000));

    // Each presentation is a new sheet.
    clickAt(view->sidebar()->reportIssueButton());
    EXPECT_NE(view->reportIssueSheet(), nullptr);
    EXPECT_EQ(view->reportIssueSheet()->step(), ReportIssueSheet::Step::info);
}

TEST_F(MainWindowTest, UpdateOverlayBlocksEveryClickUnderneath) {
    loadBuiltInCatalogue();
    open();
    EXPECT_TRUE(view->updateOverlay()->isHidden());
    simUpdater.reportValidUpdate(AppcastItem{"2.0", "2.0", QUrl()});
    scheduler.runPending();
    ASSERT_TRUE(updater.updateRequired());
    ASSERT_FALSE(view->updateOverlay()->isHidden());
    EXPECT_EQ(view->updateOverlay()->geometry(), view->rect());

    QAbstractButton* allRow = view->sidebar()->buttonFor(NavItem::allShortcuts());
    const QPoint rowCenter = allRow->mapTo(view.get(), allRow->rect().center());
    EXPECT_EQ(view->childAt(rowCenter), view->updateOverlay());
    clickAt(allRow);
    clickAt(view->sidebar()->reportIssueButton());
    EXPECT_EQ(view->selectedItem(), NavItem::dashboard());
    EXPECT_FALSE(view->showReportIssue());
    saveScreenshot(*view, "main_update_required");

    QTest::mouseClick(view->updateOverlay()->installButton(), Qt::LeftButton);
    EXPECT_EQ(simUpdater.interactiveCount(), 1);
    EXPECT_FALSE(view->updateOverlay()->isHidden());  // still there after the updater's own dialog
}

}  // namespace
