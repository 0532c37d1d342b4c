#pragma once

#include <QHashFunctions>
#include <QList>
#include <QString>
#include <optional>

// The ten groups of the catalogue, in their fixed order. A category's raw value is also its
// identifier and its display name.
enum class ShortcutCategory {
    pasteSpecial,
    format,
    insertDelete,
    data,
    formulas,
    dataTools,
    pivot,
    review,
    view,
    essential,
};

namespace ShortcutCategories {

// Every category in declaration order.
const QList<ShortcutCategory>& allCases();

QString rawValue(ShortcutCategory category);
inline QString id(ShortcutCategory category) { return rawValue(category); }
inline QString displayName(ShortcutCategory category) { return rawValue(category); }
// The symbol name of the category's image.
QString icon(ShortcutCategory category);

// Exactly the ten raw values, with their case and spacing; anything else gives nothing.
std::optional<ShortcutCategory> fromRawValue(const QString& raw);

// A backend category string: lower-cased (nothing trimmed), it must equal a display name or one
// of the short forms ("pastespecial", "format", "insertdelete", "datatools", "pivot").
std::optional<ShortcutCategory> fromApiValue(const QString& value);

}  // namespace ShortcutCategories

inline size_t qHash(ShortcutCategory category, size_t seed = 0) noexcept {
    return qHash(static_cast<int>(category), seed);
}
