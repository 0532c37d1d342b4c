// The menu, ribbon and Format Cells runners against hand-built accessibility trees: timing,
// search reach, role filters, title rules, failures and their fallbacks.

#include <gtest/gtest.h>

#include "engine/EngineHarness.h"

using namespace Keys;

namespace {

using El = std::shared_ptr<SimAXElement>;

std::string lines(const QStringList& list) {
    return list.join(u'\n').toStdString();
}

El el(const QString& role, const QString& title = QString(), const QString& description = QString(),
      const QList<El>& children = {}) {
    El e = SimAXElement::make(role, title, description);
    e->setChildren(children);
    return e;
}

// `levels` plain groups above `leaf`; the leaf sits `levels` levels below the returned root's parent.
El nest(int levels, const El& leaf) {
    El current = leaf;
    for (int i = 0; i < levels; ++i) {
        current = el("AXGroup", QString(), QString(), {current});
    }
    return current;
}

class Runners : public ::testing::Test {
protected:
    Runners() : h(false) {
        excel = std::make_shared<SimApplication>(QStringLiteral("com.microsoft.Excel"), QStringLiteral("Excel"));
        h.session.launch(excel, true);
        h.startEngine();
    }
    void setMenuBar(const QList<El>& topItems) {
        excel->applicationElement()->setElement("AXMenuBar", el("AXMenuBar", QString(), QString(), topItems));
    }
    void setMainWindow(const El& window) { excel->applicationElement()->setElement("AXMainWindow", window); }
    void setFocusedWindow(const El& window) { excel->applicationElement()->setElement("AXFocusedWindow", window); }
    ShortcutEngine::Action fallback(const QString& name = "fallback") {
        return [this, name] { h.timeline.add("fallback", name); };
    }
    QStringList effects() const { return h.timeline.of({"press", "post", "message", "fallback"}); }

    EngineHarness h;
    std::shared_ptr<SimApplication> excel;
};

// --- Menus ---

El formatMenu() {
    return el(
        "AXMenuBarItem", "Format", QString(),
        {el("AXMenu", QString(), QString(),
            {el("AXMenuItem", "Cells..."),
             el("AXMenuItem", "Row", QString(),
                {el("AXMenu", QString(), QString(), {el("AXMenuItem", "Height..."), el("AXMenuItem", "Auto-fit")})}),
             el("AXMenuItem", "Column", QString(),
                {el("AXMenu", QString(), QString(), {el("AXMenuItem", "Width...")})})})});
}

TEST_F(Runners, MenuPathPressesEveryLevelAfterItsMenuOpened) {
    setMenuBar({el("AXMenuBarItem", "Data"), formatMenu()});
    h.engine().axMenu({"Format", "Column", "Width..."}, fallback());
    h.advance(2.0);
    EXPECT_EQ(lines(effects()), lines({"0.00 press 'Format'", "0.18 press 'Column'", "0.36 press 'Width...'"}));
}

TEST_F(Runners, OneTitlePathPressesOnlyTheTopLevelAndEmptyPathNothing) {
    setMenuBar({formatMenu()});
    h.engine().axMenu({"Format"}, fallback());
    h.engine().axMenu({}, fallback());
    h.advance(2.0);
    EXPECT_EQ(lines(effects()), lines({"0.00 press 'Format'"}));
    EXPECT_TRUE(h.console().isEmpty());
}

TEST_F(Runners, MissingMenuBarIsLoggedAndFallsBackAtOnce) {
    // Excel runs but is not frontmost.
    auto other = std::make_shared<SimApplication>(QStringLiteral("com.apple.finder"), QStringLiteral("Finder"));
    setMenuBar({formatMenu()});
    h.session.launch(other, true);
    h.engine().axMenu({"Format", "Row"}, fallback());
    EXPECT_EQ(lines(effects()),
              lines({"0.00 message [ShortcutEngine] Triggered 'AX: no Excel menu bar — accessibility permission "
                     "required' — Mac implementation pending",
                     "0.00 fallback fallback"}));
    EXPECT_TRUE(h.console().contains(
        "[Engine] 'AX: no Excel menu bar — accessibility permission required' triggered (Mac implementation pending)"));

    // Frontmost, but without the permission every read fails alike.
    h.timeline.clear();
    h.session.activate(excel);
    h.session.setAccessibilityTrusted(false);
    h.engine().axMenu({"Format", "Row"});
    h.advance(1.0);
    EXPECT_EQ(h.messages().size(), 1);
    EXPECT_TRUE(h.posts().isEmpty());
}

TEST_F(Runners, TopLevelMenuIsFoundOnlyAmongTheMenuBarsChildrenByTitle) {
    setMenuBar({el("AXMenuBarItem", QString(), "Format"), el("AXGroup", QString(), QString(), {formatMenu()})});
    h.engine().axMenu({"Format", "Row", "Auto-fit"}, fallback());
    h.advance(1.0);
    EXPECT_EQ(lines(effects()),
              lines({"0.00 message [ShortcutEngine] Triggered 'AX: top-level menu 'Format' not found' — Mac "
                     "implementation pending",
                     "0.00 fallback fallback"}));
}

TEST_F(Runners, MissingMenuEntryEscapesTwiceThenFallsBack) {
    setMenuBar({formatMenu()});
    h.engine().axMenu({"Format", "Row", "AutoFit"}, fallback());  // the menu says "Auto-fit"
    h.advance(2.0);
    EXPECT_EQ(lines(effects()), lines({"0.00 press 'Format'", "0.18 press 'Row'", "0.36 post ⎋",
                                       "0.36 message [ShortcutEngine] AX menu: 'AutoFit' not found", "0.46 post ⎋",
                                       "0.61 fallback fallback"}));

    // Another application comes to the front between the two Escapes: the rest of the action ends.
    h.timeline.clear();
    h.engine().axMenu({"Format", "Row", "AutoFit"}, fallback());
    h.advance(0.4);
    auto other = std::make_shared<SimApplication>(QStringLiteral("com.apple.finder"), QStringLiteral("Finder"));
    h.session.launch(other, true);
    h.advance(2.0);
    EXPECT_EQ(lines(h.timeline.of({"press", "post", "fallback", "console"}, false)),
              lines({"'Format'", "'Row'", "⎋", "[Engine] Excel is not frontmost — dropped the rest of the action"}));
    EXPECT_TRUE(other->receivedEvents().isEmpty());
}

TEST_F(Runners, MenuEntriesUnwrapOneMenuLevelAndMatchTitlesOnly) {
    setMenuBar({el("AXMenuBarItem", "Data", QString(),
                   {el("AXMenuItem", "Sort"),  // a direct child counts as an entry
                    el("AXMenu", QString(), QString(),
                       {el("AXMenuItem", QString(), "Refresh"),  // description only: no match
                        el("AXMenu", QString(), QString(), {el("AXMenuItem", "Validation...")})})})});
    h.engine().axMenu({"Data", "Sort"});
    h.advance(1.0);
    h.engine().axMenu({"Data", "Refresh"});
    h.advance(1.0);
    h.engine().axMenu({"Data", "Validation..."});
    h.advance(1.0);
    EXPECT_EQ(lines(h.timeline.of({"press", "message"}, false)),
              lines({"'Data'", "'Sort'", "'Data'", "[ShortcutEngine] AX menu: 'Refresh' not found", "'Data'",
                     "[ShortcutEngine] AX menu: 'Validation...' not found"}));
}

TEST_F(Runners, ReleasedEngineEndsAMenuChainButAFailedStepsFallbackStillRuns) {
    setMenuBar({formatMenu()});
    h.engine().axMenu({"Format", "Row", "Missing"}, fallback());
    h.advance(0.40);  // the step failed at 0.36
    h.releaseEngine();
    h.advance(2.0);
    EXPECT_EQ(lines(effects()),
              lines({"0.00 press 'Format'", "0.18 press 'Row'", "0.36 post ⎋",
                     "0.36 message [ShortcutEngine] AX menu: 'Missing' not found", "0.61 fallback fallback"}));
}

TEST_F(Runners, ReleasedEngineBeforeAMenuStepPressesNothingMore) {
    setMenuBar({formatMenu()});
    h.engine().axMenu({"Format", "Row", "Missing"}, fallback());
    h.releaseEngine();
    h.advance(2.0);
    EXPECT_EQ(lines(effects()), lines({"0.00 press 'Format'"}));
}

// --- Ribbon ---

TEST_F(Runners, RibbonButtonSearchReachesTwelveLevelsAndFiltersRoles) {
    const El deep = el("AXButton", "Deep");
    const El tooDeep = el("AXButton", "TooDeep");
    setMainWindow(el("AXWindow", "Book1", QString(),
                     {nest(11, deep), nest(12, tooDeep), el("AXStaticText", "Static"),
                      el("AXMenuItem", QString(), "ItemByDescription"), el("AXButton", "Titled", "Described"),
                      el("AXCheckBox", "Box"), el("AXToggleButton", "Toggle"), el("AXMenuButton", "MenuButton")}));
    for (const char* title :
         {"Deep", "TooDeep", "Static", "ItemByDescription", "Described", "Box", "Toggle", "MenuButton"}) {
        h.engine().axRibbonButton(title, fallback(title));
        h.advance(0.1);
    }
    EXPECT_EQ(lines(h.timeline.of({"press", "fallback"}, false)),
              lines({"'Deep'", "TooDeep", "Static", "'ItemByDescription'", "Described", "'Box'", "'Toggle'",
                     "'MenuButton'"}));
    EXPECT_EQ(lines(h.messages()), lines({"[ShortcutEngine] Ribbon button 'TooDeep' not found — trying fallback",
                                          "[ShortcutEngine] Ribbon button 'Static' not found — trying fallback",
                                          "[ShortcutEngine] Ribbon button 'Described' not found — trying fallback"}));
}

TEST_F(Runners, RibbonButtonWaitsBrieflyAndFallsBackAtOnceWithoutAWindow) {
    h.engine().axRibbonButton("Gridlines", fallback());
    EXPECT_EQ(lines(effects()), lines({"0.00 fallback fallback"}));

    h.timeline.clear();
    QList<El> many;
    for (int i = 0; i < 249; ++i) {
        many.append(el("AXButton", QString::number(i)));
    }
    many.append(el("AXCheckBox", "Gridlines"));
    setMainWindow(el("AXWindow", "Book1", QString(), {el("AXGroup", QString(), QString(), many)}));
    h.engine().axRibbonButton("Gridlines", fallback());
    h.advance(1.0);
    EXPECT_EQ(lines(effects()), lines({"0.05 press 'Gridlines'"}));
}

TEST_F(Runners, UnreadableAttributesNeverMatch) {
    const El noRole = el("AXButton", "NoRole");
    noRole->setAttributeError("AXRole", AXError::CannotComplete);
    const El oddTitle = el("AXButton", QString(), "Odd");
    oddTitle->setOtherValue("AXDescription");
    const El hidden = el("AXGroup", QString(), QString(), {el("AXButton", "Hidden")});
    hidden->setAttributeError("AXChildren", AXError::Failure);
    setMainWindow(el("AXWindow", "Book1", QString(), {noRole, oddTitle, hidden}));
    for (const char* title : {"NoRole", "Odd", "Hidden"}) {
        h.engine().axRibbonButton(title, fallback(title));
    }
    h.advance(1.0);
    EXPECT_EQ(lines(h.timeline.of({"press", "fallback"}, false)), lines({"NoRole", "Odd", "Hidden"}));
}

El mergeButton(const QString& role, const QList<El>& items) {
    return el(role, "Merge & Centre", QString(), {el("AXMenu", QString(), QString(), items)});
}

TEST_F(Runners, RibbonMenuPrefersEarlierItemTitlesWhateverTheMenuOrder) {
    setMainWindow(
        el("AXWindow", "Book1", QString(),
           {nest(3, mergeButton("AXMenuButton", {el("AXMenuItem", "B"), el("AXMenuItem", QString(), "A")}))}));
    ShortcutEngineProbe::ribbonMenu(h.engine(), "Merge & Centre", {"A", "B"}, fallback());
    h.advance(1.0);
    EXPECT_EQ(lines(effects()), lines({"0.05 press 'Merge & Centre'", "0.25 press 'A'"}));
}

TEST_F(Runners, RibbonMenuWithoutAMatchingItemEscapesAndFallsBackLater) {
    setMainWindow(el("AXWindow", "Book1", QString(), {mergeButton("AXButton", {el("AXMenuItem", "Merge Across")})}));
    ShortcutEngineProbe::ribbonMenu(h.engine(), "Merge & Centre", {"Merge and Centre", "Merge and Center"}, fallback());
    h.advance(1.0);
    EXPECT_EQ(lines(effects()),
              lines({"0.05 press 'Merge & Centre'", "0.25 post ⎋",
                     "0.25 message [ShortcutEngine] Ribbon menu item not found in 'Merge & Centre', tried: "
                     "[\"Merge and Centre\", \"Merge and Center\"]",
                     "0.35 fallback fallback"}));
}

TEST_F(Runners, RibbonMenuButtonIgnoresMenuItemRolesAndReportsAMissingButton) {
    setMainWindow(el("AXWindow", "Book1", QString(), {mergeButton("AXMenuItem", {el("AXMenuItem", "A")})}));
    ShortcutEngineProbe::ribbonMenu(h.engine(), "Merge & Centre", {"A"}, fallback());
    h.advance(1.0);
    EXPECT_EQ(lines(effects()), lines({"0.05 message [ShortcutEngine] Ribbon menu button 'Merge & Centre' not found",
                                       "0.05 fallback fallback"}));

    h.timeline.clear();
    setMainWindow(nullptr);
    ShortcutEngineProbe::ribbonMenu(h.engine(), "Merge & Centre", {"A"}, fallback());
    EXPECT_EQ(h.timeline.of({"fallback", "message"}, false), QStringList{"fallback"});
}

// --- Format Cells borders ---

El dialog(const QList<El>& content, bool withOk = true) {
    QList<El> children{el("AXTabGroup", QString(), QString(), content), el("AXButton", "Cancel")};
    if (withOk) {
        children.append(el("AXButton", "OK"));
    }
    return el("AXWindow", "Format Cells", QString(), children);
}

TEST_F(Runners, BordersPressTabPresetsAndOkOnTheirDelays) {
    setFocusedWindow(dialog(
        {el("AXRadioButton", "Number"), el("AXRadioButton", "Border"),
         el("AXGroup", QString(), QString(), {el("AXButton", QString(), "Outline"), el("AXButton", "Inside")})}));
    ShortcutEngineProbe::borders(h.engine(), {"Outline", "Missing", "Inside"});
    h.advance(2.0);
    EXPECT_EQ(lines(effects()),
              lines({"0.00 post ⌘1", "0.60 press 'Border'", "0.85 press 'Outline'",
                     "0.85 message [ShortcutEngine] Border preset 'Missing' not found — check AXDump in console",
                     "0.85 press 'Inside'", "0.95 press 'OK'"}));
    const QStringList console = h.console();
    ASSERT_GE(console.size(), 3);
    EXPECT_EQ(console.first(), "[ShortcutEngine] === Format Cells AX tree ===");
    EXPECT_EQ(console.last(), "[ShortcutEngine] === end AX tree ===");
    EXPECT_EQ(console[1], "[AXDump] AXWindow  title='Format Cells'  desc=''");
    EXPECT_EQ(console[2], "[AXDump]   AXTabGroup  title=''  desc=''");
    EXPECT_TRUE(console.contains("[AXDump]       AXButton  title=''  desc='Outline'"));
}

TEST_F(Runners, EmptyPresetListConfirmsAfterTheTab) {
    setFocusedWindow(dialog({el("AXRadioButton", QString(), "Border")}));
    ShortcutEngineProbe::borders(h.engine(), {});
    h.advance(2.0);
    EXPECT_EQ(lines(effects()), lines({"0.00 post ⌘1", "0.60 press 'Border'", "0.95 press 'OK'"}));
}

TEST_F(Runners, OkIsMatchedByTitleOnlyElseReturnIsPosted) {
    setFocusedWindow(
        el("AXWindow", "Format Cells", QString(), {el("AXRadioButton", "Border"), el("AXButton", QString(), "OK")}));
    ShortcutEngineProbe::borders(h.engine(), {});
    h.advance(2.0);
    EXPECT_EQ(lines(effects()), lines({"0.00 post ⌘1", "0.60 press 'Border'", "0.95 post ↩"}));
}

TEST_F(Runners, DialogSearchesReachEightLevels) {
    setFocusedWindow(
        el("AXWindow", "Format Cells", QString(),
           {nest(7, el("AXRadioButton", "Border")), nest(8, el("AXButton", "Outline")), el("AXButton", "OK")}));
    ShortcutEngineProbe::borders(h.engine(), {"Outline"});
    h.advance(2.0);
    EXPECT_EQ(
        lines(h.timeline.of({"press", "message"}, false)),
        lines({"'Border'", "[ShortcutEngine] Border preset 'Outline' not found — check AXDump in console", "'OK'"}));

    h.timeline.clear();
    setFocusedWindow(el("AXWindow", "Format Cells", QString(), {nest(8, el("AXRadioButton", "Border"))}));
    ShortcutEngineProbe::borders(h.engine(), {"Outline"});
    h.advance(2.0);
    EXPECT_EQ(lines(effects()), lines({"2.00 post ⌘1", "2.60 post ⎋",
                                       "2.60 message [ShortcutEngine] Border tab not found in Format Cells dialog"}));
}

TEST_F(Runners, NoFocusedExcelWindowIsReportedAfterTheDialogDelayAndNoKeyGoesElsewhere) {
    ShortcutEngineProbe::borders(h.engine(), {"None"});
    h.advance(2.0);
    EXPECT_EQ(lines(effects()),
              lines({"0.00 post ⌘1",
                     "0.60 message [ShortcutEngine] Format Cells dialog not found (no focused Excel window)"}));

    // Excel not frontmost: ⌘1 would reach another application, so the runner ends before it.
    h.timeline.clear();
    setFocusedWindow(dialog({el("AXRadioButton", "Border")}));
    auto other = std::make_shared<SimApplication>(QStringLiteral("com.apple.finder"), QStringLiteral("Finder"));
    h.session.launch(other, true);
    ShortcutEngineProbe::borders(h.engine(), {"None"});
    h.advance(2.0);
    EXPECT_TRUE(h.timeline.of({"press", "post", "message"}).isEmpty());
    EXPECT_EQ(lines(h.console()), lines({"[Engine] Excel is not frontmost — dropped the rest of the action"}));
    EXPECT_TRUE(other->receivedEvents().isEmpty());
}

TEST_F(Runners, DumpStopsAtDepthSixAndPrintsUnreadableRolesAsQuestionMarks) {
    El leaf = el("AXButton", "Seven");
    El chain = leaf;
    for (int depth = 6; depth >= 1; --depth) {
        chain = el("AXGroup", QString::number(depth), QString(), {chain});
    }
    const El root = el("AXWindow", "Root", "d", {chain});
    const El roleless = el("AXGroup", "NoRole");
    roleless->removeAttribute("AXRole");
    root->addChild(roleless);
    ShortcutEngineProbe::dump(h.engine(), root);
    const QStringList out = h.console();
    EXPECT_EQ(lines(out),
              lines({"[AXDump] AXWindow  title='Root'  desc='d'", "[AXDump]   AXGroup  title='1'  desc=''",
                     "[AXDump]     AXGroup  title='2'  desc=''", "[AXDump]       AXGroup  title='3'  desc=''",
                     "[AXDump]         AXGroup  title='4'  desc=''", "[AXDump]           AXGroup  title='5'  desc=''",
                     "[AXDump]             AXGroup  title='6'  desc=''", "[AXDump]   ?  title='NoRole'  desc=''"}));
}

// --- Key injection ---

TEST_F(Runners, InjectedKeysCarryExactlyTheGivenFlags) {
    h.flags(kOpt);  // the user still holds Option
    h.engine().injectKey(F9, kShift);
    h.engine().injectKey(E, kCmd);
    const auto posted = h.session.simEvents().postedEvents();
    ASSERT_EQ(posted.size(), 4);
    EXPECT_EQ(posted[0].event, KeyboardEvent(EventType::KeyDown, F9, kShift));
    EXPECT_EQ(posted[1].event, KeyboardEvent(EventType::KeyUp, F9, kShift));
    EXPECT_EQ(posted[2].event, KeyboardEvent(EventType::KeyDown, E, kCmd));
    EXPECT_EQ(posted[3].event, KeyboardEvent(EventType::KeyUp, E, kCmd));
    EXPECT_EQ(posted[0].location, EventTapLocation::AnnotatedSession);
    // Posted past the engine's own tap: nothing of it came back as a sequence key.
    EXPECT_FALSE(ShortcutEngineProbe::suppressed(h.engine()).contains(E));
}

TEST_F(Runners, InjectToPidGoesToExcelsProcessAndIsSilentWithoutExcel) {
    ShortcutEngineProbe::injectToPid(h.engine(), Space, kCtrl);
    auto posted = h.session.simEvents().postedEvents();
    ASSERT_EQ(posted.size(), 2);
    EXPECT_EQ(posted[0].pid, excel->processIdentifier());
    EXPECT_EQ(posted[0].event, KeyboardEvent(EventType::KeyDown, Space, kCtrl));
    EXPECT_EQ(posted[1].event, KeyboardEvent(EventType::KeyUp, Space, kCtrl));

    h.session.simEvents().clearPostedEvents();
    h.session.quit(excel);
    ShortcutEngineProbe::injectToPid(h.engine(), Space, kCtrl);
    h.advance(1.0);
    EXPECT_TRUE(h.session.simEvents().postedEvents().isEmpty());
    EXPECT_TRUE(h.messages().isEmpty());
}

TEST_F(Runners, PasteSpecialMacroStepsAndItsEndWhenTheEngineGoes) {
    ShortcutEngineProbe::pasteSpecial(h.engine(), V);
    h.advance(1.0);
    EXPECT_EQ(lines(h.timeline.of({"post"})), lines({"0.00 post ⌃⌘V", "0.35 post V", "0.50 post ↩"}));

    h.timeline.clear();
    ShortcutEngineProbe::pasteSpecial(h.engine(), T);
    h.advance(0.2);
    h.releaseEngine();
    h.advance(1.0);
    EXPECT_EQ(lines(h.timeline.of({"post"})), lines({"1.00 post ⌃⌘V"}));
}

TEST_F(Runners, PasteSpecialIgnoresAnOptionKeyThatIsNoKeyCode) {
    ShortcutEngineProbe::pasteSpecial(h.engine(), 70000);
    ShortcutEngineProbe::pasteSpecial(h.engine(), -1);
    h.advance(1.0);
    EXPECT_TRUE(h.posts().isEmpty());
}

TEST_F(Runners, LogOnlyReportsAndPrints) {
    ShortcutEngineProbe::logOnly(h.engine(), "Fill Color");
    EXPECT_EQ(lines(h.messages()), lines({"[ShortcutEngine] Triggered 'Fill Color' — Mac implementation pending"}));
    EXPECT_EQ(lines(h.console()), lines({"[Engine] 'Fill Color' triggered (Mac implementation pending)"}));
    EXPECT_TRUE(h.posts().isEmpty());
}

}  // namespace
