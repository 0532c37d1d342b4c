#include <gtest/gtest.h>

#include <QJsonObject>
#include <QSet>

#include "models/ShortcutData.h"

namespace {

const Shortcut& byId(const QString& id) {
    for (const Shortcut& s : ShortcutData::all()) {
        if (s.id == id) {
            return s;
        }
    }
    ADD_FAILURE() << "no entry " << id.toStdString();
    static Shortcut none;
    return none;
}

}  // namespace

TEST(ShortcutData, HasSixtyEightDistinctEnabledEntriesGroupedInCategoryOrder) {
    const auto& all = ShortcutData::all();
    ASSERT_EQ(all.size(), 68);

    QSet<QString> ids;
    QList<int> counts(ShortcutCategories::allCases().size(), 0);
    int lastCategory = 0;
    for (const Shortcut& s : all) {
        EXPECT_TRUE(s.isEnabled) << s.id.toStdString();
        ids.insert(s.id);
        const int category = static_cast<int>(s.category);
        EXPECT_GE(category, lastCategory) << "entries must be grouped in category order: " << s.id.toStdString();
        lastCategory = category;
        ++counts[category];
    }
    EXPECT_EQ(ids.size(), 68);
    EXPECT_EQ(counts, (QList<int>{9, 15, 6, 5, 6, 4, 2, 3, 4, 14}));
    EXPECT_EQ(&ShortcutData::all(), &all) << "the catalogue is built once";
}

TEST(ShortcutData, IdPrefixesMatchTheirCategory) {
    const QMap<ShortcutCategory, QString> prefixes{
        {ShortcutCategory::pasteSpecial, "ps-"}, {ShortcutCategory::format, "fmt-"},
        {ShortcutCategory::insertDelete, "id-"}, {ShortcutCategory::data, "dat-"},
        {ShortcutCategory::formulas, "frm-"},    {ShortcutCategory::dataTools, "dt-"},
        {ShortcutCategory::pivot, "pv-"},        {ShortcutCategory::review, "rev-"},
        {ShortcutCategory::view, "vw-"},         {ShortcutCategory::essential, "ess-"},
    };
    for (const Shortcut& s : ShortcutData::all()) {
        EXPECT_TRUE(s.id.startsWith(prefixes.value(s.category))) << s.id.toStdString();
    }
}

TEST(ShortcutData, UnusualRowsKeepTheirExactTokens) {
    EXPECT_EQ(byId("fmt-hh").windowsKeys, (QStringList{"Alt", "H", "H"}));
    EXPECT_EQ(byId("id-uca").windowsKeys, (QStringList{"Alt", "H", "O", "C", "A"}));
    EXPECT_EQ(byId("id-url").windowsKeys, (QStringList{"Alt", "H", "O", "U", "L"}));
    EXPECT_EQ(byId("ess-f2").windowsKeys, QStringList{"F2"});
    EXPECT_EQ(byId("ess-f2").macKeys, QStringList{"F2"});
    EXPECT_EQ(byId("ess-cbk").windowsKeys, (QStringList{"Ctrl", QStringLiteral("`")}));
    EXPECT_EQ(byId("ess-cbk").macKeys, QStringList{QStringLiteral("⌃`")});
    EXPECT_EQ(byId("ps-v").macKeys, (QStringList{QStringLiteral("⌃⌘V"), "V", QStringLiteral("↩")}));
    EXPECT_EQ(byId("ess-cpu").macKeys, QStringList{QStringLiteral("⌥⌘←")});
    EXPECT_EQ(byId("ess-csl").windowsKeys, (QStringList{"Ctrl", QStringLiteral("⇧"), "L"}));
    EXPECT_EQ(byId("dat-asa").name, QStringLiteral("Sort A→Z"));
    EXPECT_EQ(byId("dat-asd").macKeys, (QStringList{"Data", QStringLiteral("Sort↓")}));
    EXPECT_EQ(byId("fmt-mc").name, QStringLiteral("Merge & Center"));

    for (const Shortcut& s : ShortcutData::all()) {
        if (s.category == ShortcutCategory::essential) {
            EXPECT_FALSE(s.windowsKeys.contains("Alt")) << s.id.toStdString();
        } else {
            EXPECT_EQ(s.windowsKeys.value(0), "Alt") << s.id.toStdString();
        }
    }
}

TEST(ShortcutData, NamesMayRepeatButIdsDoNot) {
    EXPECT_EQ(byId("dat-at").name, byId("ess-csl").name);
    EXPECT_NE(byId("dat-at").id, byId("ess-csl").id);
}

TEST(ShortcutCategory, RawValuesIconsAndStrictCreation) {
    ASSERT_EQ(ShortcutCategories::allCases().size(), 10);
    EXPECT_EQ(ShortcutCategories::rawValue(ShortcutCategory::insertDelete), QStringLiteral("Insert & Delete"));
    EXPECT_EQ(ShortcutCategories::icon(ShortcutCategory::dataTools), QStringLiteral("wrench.and.screwdriver"));
    for (ShortcutCategory c : ShortcutCategories::allCases()) {
        EXPECT_EQ(ShortcutCategories::id(c), ShortcutCategories::rawValue(c));
        EXPECT_EQ(ShortcutCategories::displayName(c), ShortcutCategories::rawValue(c));
        EXPECT_EQ(ShortcutCategories::fromRawValue(ShortcutCategories::rawValue(c)), c);
    }
    EXPECT_EQ(ShortcutCategories::fromRawValue("Paste Special"), ShortcutCategory::pasteSpecial);
    EXPECT_FALSE(ShortcutCategories::fromRawValue("paste special"));
    EXPECT_FALSE(ShortcutCategories::fromRawValue("Paste Special "));
    EXPECT_FALSE(ShortcutCategories::fromRawValue("pasteSpecial"));
    EXPECT_FALSE(ShortcutCategories::fromRawValue(""));
}

TEST(Shortcut, JsonRoundTripRequiresEveryMember) {
    const Shortcut& original = byId("ess-cbk");
    const QJsonObject json = original.toJson();
    EXPECT_EQ(json.keys().size(), 7);
    EXPECT_EQ(json.value("category").toString(), QStringLiteral("Essential"));
    EXPECT_EQ(Shortcut::fromJson(json), original);

    for (const QString& key : json.keys()) {
        QJsonObject missing = json;
        missing.remove(key);
        EXPECT_FALSE(Shortcut::fromJson(missing)) << key.toStdString();
    }
    QJsonObject badCategory = json;
    badCategory.insert("category", "essential");
    EXPECT_FALSE(Shortcut::fromJson(badCategory));
}
