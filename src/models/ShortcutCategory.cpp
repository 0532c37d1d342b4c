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

std::optional<ShortcutCategory> fromApiValue(const QString& value) {
    struct ApiName {
        const char* name;
        ShortcutCategory category;
    };
    static constexpr std::array<ApiName, 15> kApiNames{{
        {"paste special", ShortcutCategory::pasteSpecial},
        {"pastespecial", ShortcutCategory::pasteSpecial},
        {"formatting", ShortcutCategory::format},
        {"format", ShortcutCategory::format},
        {"insert & delete", ShortcutCategory::insertDelete},
        {"insertdelete", ShortcutCategory::insertDelete},
        {"data", ShortcutCategory::data},
        {"formulas", ShortcutCategory::formulas},
        {"data tools", ShortcutCategory::dataTools},
        {"datatools", ShortcutCategory::dataTools},
        {"pivot table", ShortcutCategory::pivot},
        {"pivot", ShortcutCategory::pivot},
        {"review", ShortcutCategory::review},
        {"view", ShortcutCategory::view},
        {"essential", ShortcutCategory::essential},
    }};
    const QString lowered = value.toLower();
    for (const ApiName& entry : kApiNames) {
        if (lowered == QLatin1String(entry.name)) {
            return entry.category;
        }
    }
    return std::nullopt;
}

}  // namespace ShortcutCategories
