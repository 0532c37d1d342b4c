// Every built-in Alt sequence typed into the simulated spreadsheet, with the alternatives each one
// falls back to when its first choice is missing.

#include <gtest/gtest.h>

#include "engine/EngineHarness.h"
#include "platform/sim/SimKeyNames.h"

namespace {

std::string lines(const QStringList& list) {
    return list.join(u'\n').toStdString();
}

struct Row {
    const char* keys;     // letters typed after ⌥
    const char* name;     // counted name, "" for none
    QStringList removed;  // "menu:A › B" or "ribbon:Title", taken out of the spreadsheet first
    QStringList effect;   // the spreadsheet's log, or {"logOnly <text>"}
};

QStringList paste(const char* letter, const char* option) {
    return {"key ⌃⌘V",
            "open Paste Special",
            QString("key ") + letter,
            QString("paste option ") + option,
            "key ↩",
            QString("OK Paste Special: ") + option};
}

QStringList menu(const QString& path) {
    const QStringList titles = path.split(" › ");
    QStringList log;
    for (qsizetype i = 1; i < titles.size(); ++i) {
        log.append("open " + titles.first(i).join(" › "));
    }
    log.append("press " + path);
    return log;
}

QStringList borders(const QStringList& presets) {
    QStringList log{"key ⌘1", "open Format Cells", "tab Border"};
    for (const QString& p : presets) {
        log.append("border " + p);
    }
    log.append("OK Format Cells");
    return log;
}

QStringList operator+(QStringList a, const char* b) {
    a.append(b);
    return a;
}

const QStringList kEscapes{"key ⎋", "key ⎋"};

const QList<Row>& rows() {
    static const QList<Row> table = {
        {"E S V", "Paste Values", {}, paste("V", "Values")},
        {"E S T", "Paste Formats", {}, paste("T", "Formats")},
        {"E S F", "Paste Formulas", {}, paste("F", "Formulas")},
        {"E S W", "Paste Column Widths", {}, paste("W", "Column widths")},
        {"E S E", "Paste Transpose", {}, paste("E", "Transpose")},
        {"E S N", "Paste Validation", {}, paste("N", "Validation")},
        {"E S C", "Paste Comments", {}, paste("C", "Comments")},
        {"E S A", "Paste All", {}, paste("A", "All")},
        {"E S U", "Paste Except Borders", {}, paste("U", "All except borders")},
        {"H O I", "AutoFit Column", {}, menu("Format › Column › Auto-fit Selection")},
        {"H O A", "AutoFit Row", {}, menu("Format › Row › Auto-fit")},
        {"H O W", "Column Width", {}, menu("Format › Column › Width...")},
        {"H O H", "Row Height", {}, menu("Format › Row › Height...")},
        {"H B A", "All Borders", {}, borders({"Outline", "Inside"})},
        {"H B N", "No Borders", {}, borders({"None"})},
        {"H B O", "Outline Border", {}, borders({"Outline"})},
        {"H B B", "", {}, {"logOnly Bottom Border"}},
        {"H H", "", {}, {"logOnly Fill Color"}},
        {"H F C", "", {}, {"logOnly Font Color"}},
        {"H A C", "Center Align", {}, {"key ⌘E"}},
        {"H A L", "Left Align", {}, {"key ⌘L"}},
        {"H A R", "Right Align", {}, {"key ⌘R"}},
        {"H W", "", {}, {"logOnly Wrap Text"}},
        {"H M C", "Merge & Center", {}, {"open Merge & Centre", "ribbon Merge & Centre › Merge and Centre"}},
        {"H I R", "Insert Row", {}, menu("Insert › Sheet Rows")},
        {"H I C", "Insert Column", {}, menu("Insert › Columns")},
        {"H D R", "Delete Row", {}, {"key ⌃-"}},
        {"H D C", "Delete Column", {}, {"key ⌃-"}},
        {"H O C A", "Unhide Column", {}, menu("Format › Column › Unhide")},
        {"H O U L", "Unhide Row", {}, menu("Format › Row › Unhide")},
        {"A T", "Toggle Filter", {}, menu("Data › Auto-filter")},
        {"A S A", "Sort A→Z", {}, {"ribbon Sort A to Z"}},
        {"A S D", "Sort Z→A", {}, {"ribbon Sort Z to A"}},
        {"A M", "Remove Duplicates", {}, menu("Data › Remove Duplicates...")},
        {"A C", "Clear Filter", {}, {"ribbon Clear"}},
        {"M S", "", {}, {"logOnly Name Manager"}},
        {"M M", "", {}, {"logOnly Define Name"}},
        {"M D", "", {}, {"logOnly Trace Dependents"}},
        {"M P", "", {}, {"logOnly Trace Precedents"}},
        {"M A A", "Calculate Workbook", {}, {"key F9"}},
        {"M A C", "Calculate Sheet", {}, {"key ⇧F9"}},
        {"A V V", "Data Validation", {}, menu("Data › Validation...")},
        {"A E", "Text to Columns", {}, menu("Data › Text to Columns...")},
        {"A Q", "", {}, {"logOnly Query Refresh"}},
        {"A R A", "Refresh All", {}, menu("Data › Refresh")},
        {"J T R", "", {}, {"logOnly Refresh Pivot"}},
        {"J T O", "", {}, {"logOnly Pivot Options"}},
        {"R S", "Spell Check", {}, {"key F7"}},
        {"R P", "Protect Sheet", {}, menu("Tools › Protection › Protect Sheet...")},
        {"R U", "Unprotect Sheet", {}, menu("Tools › Protection › Unprotect Sheet...")},
        {"W F F", "Freeze Panes", {}, menu("View › Freeze Panes › Freeze Panes")},
        {"W V G", "Gridlines", {}, {"ribbon Gridlines"}},
        {"W S", "Split View", {}, menu("View › Split")},
        {"W A", "", {}, menu("Window › Arrange...")},

        // The alternatives, each with its first choice (and then its second) taken away.
        {"H M C",
         "Merge & Center",
         {"ribbon:Merge and Centre"},
         QStringList{"open Merge & Centre", "key ⎋"} + menu("Format › Merge Cells › Merge and Center Cells")},
        {"H M C", "Merge & Center", {"ribbon:Merge & Centre"}, menu("Format › Merge Cells › Merge and Center Cells")},
        {"H M C",
         "Merge & Center",
         {"ribbon:Merge & Centre", "menu:Format › Merge Cells › Merge and Center Cells"},
         QStringList{"open Format", "open Format › Merge Cells"} + kEscapes +
             menu("Format › Merge Cells › Merge and Center")},
        {"H M C",
         "Merge & Center",
         {"ribbon:Merge & Centre", "menu:Format › Merge Cells › Merge and Center Cells",
          "menu:Format › Merge Cells › Merge and Center"},
         QStringList{"open Format", "open Format › Merge Cells"} + kEscapes +
             QStringList{"open Format", "open Format › Merge Cells"} + kEscapes},
        {"H I R", "Insert Row", {"menu:Insert › Sheet Rows"}, QStringList{"open Insert"} + kEscapes + "key ⌃⇧="},
        {"H I C", "Insert Column", {"menu:Insert › Columns"}, QStringList{"open Insert"} + kEscapes + "key ⌃⇧="},
        {"A T", "Toggle Filter", {"menu:Data › Auto-filter"}, QStringList{"open Data"} + kEscapes + "key ⇧⌘F"},
        {"A S A", "Sort A→Z", {"ribbon:Sort A to Z"}, menu("Data › Sort A to Z")},
        {"A S A",
         "Sort A→Z",
         {"ribbon:Sort A to Z", "menu:Data › Sort A to Z"},
         QStringList{"open Data"} + kEscapes + menu("Data › Sort Ascending")},
        {"A S D", "Sort Z→A", {"ribbon:Sort Z to A"}, menu("Data › Sort Descending")},
        {"A S D",
         "Sort Z→A",
         {"ribbon:Sort Z to A", "menu:Data › Sort Descending"},
         QStringList{"open Data"} + kEscapes + menu("Data › Sort Z to A")},
        {"A C", "Clear Filter", {"ribbon:Clear"}, menu("Data › Clear Filters")},
        {"A C",
         "Clear Filter",
         {"ribbon:Clear", "menu:Data › Clear Filters"},
         QStringList{"open Data"} + kEscapes + menu("Data › Remove Filter")},
        {"A V V",
         "Data Validation",
         {"menu:Data › Validation..."},
         QStringList{"open Data"} + kEscapes + menu("Data › Data Validation...")},
        {"W F F",
         "Freeze Panes",
         {"menu:View › Freeze Panes › Freeze Panes"},
         QStringList{"open View", "open View › Freeze Panes"} + kEscapes +
             menu("View › Freeze Panes › Unfreeze Panes")},
        {"W V G", "Gridlines", {"ribbon:Gridlines"}, menu("View › Gridlines")},
    };
    return table;
}

quint16 codeOf(const QString& letter) {
    for (quint16 k = 0; k < 128; ++k) {
        if (SimKeyNames::keyName(k) == letter) {
            return k;
        }
    }
    ADD_FAILURE() << "no key " << letter.toStdString();
    return 0;
}

class SequenceTable : public ::testing::TestWithParam<int> {};

TEST_P(SequenceTable, TypedSequenceCarriesOutItsCommand) {
    const Row& row = rows().at(GetParam());
    EngineHarness h;
    for (const QString& removal : row.removed) {
        const bool ok = removal.startsWith("menu:") ? h.excel->removeMenuItem(removal.mid(5).split(" › "))
                                                    : h.excel->removeRibbonControl(removal.mid(7));
        ASSERT_TRUE(ok) << removal.toStdString();
    }
    h.startEngine();

    QList<quint16> keys;
    QStringList codes;
    for (const QString& letter : QString(row.keys).split(' ')) {
        keys.append(codeOf(letter));
        codes.append(QString::number(keys.last()));
    }
    const QString sequence = codes.join(',');
    h.typeAltSequence(keys, 3.0);

    const QStringList messages = h.messages();
    EXPECT_TRUE(messages.contains("[ShortcutEngine] Sequence matched: [" + sequence + "]")) << lines(messages);
    const QString name = QString::fromUtf8(row.name);

    if (row.effect.size() == 1 && row.effect.first().startsWith("logOnly ")) {
        const QString text = row.effect.first().mid(8);
        EXPECT_TRUE(messages.contains("[ShortcutEngine] Triggered '" + text + "' — Mac implementation pending"));
        EXPECT_TRUE(h.console().contains("[Engine] '" + text + "' triggered (Mac implementation pending)"));
        EXPECT_TRUE(h.excel->log().isEmpty()) << lines(h.excel->log());
    } else {
        EXPECT_EQ(lines(h.excel->log()), lines(row.effect));
        // Every posted key reached the spreadsheet with exactly the flags it should carry.
        QStringList keyLines;
        for (const QString& line : row.effect) {
            if (line.startsWith("key ")) {
                keyLines.append(line.mid(4));
            }
        }
        EXPECT_EQ(lines(h.posts()), lines(keyLines));
    }
    EXPECT_TRUE(h.excel->openMenus().isEmpty());
    EXPECT_FALSE(h.excel->formatCellsDialog());
    EXPECT_FALSE(h.excel->pasteSpecialDialog());

    if (name.isEmpty()) {
        EXPECT_TRUE(h.usage.records().isEmpty());
        EXPECT_EQ(lines(h.analyticsEvents(1)), lines({"shortcut_triggered sequence=" + sequence}));
    } else {
        EXPECT_EQ(h.usage.records().value(sequence).name, name);
        EXPECT_EQ(h.usage.records().value(sequence).count, 1);
        EXPECT_EQ(lines(h.analyticsEvents(2)), lines({"shortcut_triggered sequence=" + sequence,
                                                      "shortcut_used shortcut_name=" + name + " total_uses=1"}));
    }
}

INSTANTIATE_TEST_SUITE_P(AllRows, SequenceTable, ::testing::Range(0, int(rows().size())),
                         [](const ::testing::TestParamInfo<int>& info) {
                             const Row& row = rows().at(info.param);
                             QString label = QString(row.keys).remove(' ');
                             if (!row.removed.isEmpty()) {
                                 label += "_without" + QString::number(row.removed.size());
                             }
                             return QString("%1_%2").arg(info.param, 2, 10, QChar('0')).arg(label).toStdString();
                         });

TEST(SequenceTableShape, FiftyFourSequencesFortyTwoNamesTwentyFourPrefixes) {
    EngineHarness h;
    const ShortcutEngine& engine = h.engine();
    EXPECT_EQ(ShortcutEngineProbe::sequenceCount(engine), 54);
    EXPECT_EQ(ShortcutEngineProbe::names(engine).size(), 42);
    const QSet<QString> expectedPrefixes{"0",    "4",    "13",   "14",   "15",    "38",   "46",     "0,1",
                                         "0,9",  "0,15", "4,0",  "4,2",  "4,3",   "4,11", "4,31",   "4,34",
                                         "4,46", "13,3", "13,9", "14,1", "38,17", "46,0", "4,31,8", "4,31,32"};
    EXPECT_EQ(ShortcutEngineProbe::prefixes(engine), expectedPrefixes);
    EXPECT_EQ(ShortcutEngineProbe::names(engine).value("4,11,0"), QStringLiteral("All Borders"));
    for (const QString& key : ShortcutEngineProbe::sequenceKeys(engine)) {
        EXPECT_FALSE(expectedPrefixes.contains(key)) << key.toStdString();
        const qsizetype count = key.split(',').size();
        EXPECT_TRUE(count >= 2 && count <= 4) << key.toStdString();
    }
    // Every built-in row is covered by the typed test above.
    QSet<QString> typed;
    for (const Row& row : rows()) {
        typed.insert(QString(row.keys));
    }
    EXPECT_EQ(typed.size(), 54);
}

TEST(SequenceTableShape, ActionsDoNothingOnceTheEngineIsGone) {
    EngineHarness h;
    h.startEngine();
    h.flags(kOpt);
    for (const quint16 key : {Keys::H, Keys::O, Keys::I}) {
        h.down(key, kOpt);
    }
    // The match step is queued, not yet run.
    h.releaseEngine();
    h.advance(3.0);
    EXPECT_TRUE(h.excel->log().isEmpty());
    EXPECT_TRUE(h.messages().filter("matched").isEmpty());
}

}  // namespace
