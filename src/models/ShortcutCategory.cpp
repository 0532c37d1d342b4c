#include "models/ShortcutCategory.h"

#include <array>

namespace {

struct CategoryInfo {
    ShortcutCategory category;
    const char* raw;
    const char* icon;
};

constexpr std::array<CategoryInfo, 10> kCategories{{
    {ShortcutCategory::pasteSpecial, "Paste Special", "doc.on.clipboard"},
    {ShortcutCategory::format, "Formatting", "textformat"},
    {ShortcutCategory::insertDelete, "Insert & Delete", "plus.square.on.square"},
    {ShortcutCategory::data, "Data", "tablecells"},
    {ShortcutCategory::formulas, "Formulas", "function"},
    {ShortcutCategory::dataTools, "Data Tools", "wrench.and.screwdriver"},
    {ShortcutCategory::pivot, "Pivot Table", "chart.pie"},
    {ShortcutCategory::review, "Review", "checkmark.message"},
    {ShortcutCategory::view, "View", "eye"},
    {ShortcutCategory::essential, "Essential", "keyboard"},
}};

const CategoryInfo& info(ShortcutCategory category) {
    return kCategories[static_cast<size_t>(category)];
}

}  // namespace

namespace ShortcutCategories {

const QList<ShortcutCategory>& allCases() {
    static const QList<ShortcutCategory> all = [] {
        QList<ShortcutCategory> list;
        for (const CategoryInfo& c : kCategories) {
            list.append(c.category);
        }
        return list;
    }();
    return all;
}

QString rawValue(ShortcutCategory category) {
    return QString::fromUtf8(info(category).raw);
}

QString icon(ShortcutCategory category) {
    return QString::fromUtf8(info(category).icon);
}

std::optional<ShortcutCategory> fromRawValue(const QString& raw) {
    for (const CategoryInfo& c : kCategories) {
        if (raw == QLatin1String(c.raw)) {
            return c.category;
        }
    }
    return std::nullopt;
}

}  // namespace ShortcutCategories
