#pragma once

#include <QHashFunctions>
#include <QList>
#include <QString>

#include "models/ShortcutCategory.h"

// The main window's sidebar selection: which page the detail pane shows. Two values are equal
// when their case is equal and, for a single category, the category too.
struct NavItem {
    enum class Kind { dashboard, allShortcuts, category, dataGroup, pivotGroup, settings };

    Kind kind = Kind::dashboard;
    // Meaningful only for Kind::category.
    ShortcutCategory category = ShortcutCategory::pasteSpecial;

    static NavItem dashboard() { return {Kind::dashboard}; }
    static NavItem allShortcuts() { return {Kind::allShortcuts}; }
    static NavItem ofCategory(ShortcutCategory c) { return {Kind::category, c}; }
    static NavItem dataGroup() { return {Kind::dataGroup}; }
    static NavItem pivotGroup() { return {Kind::pivotGroup}; }
    static NavItem settings() { return {Kind::settings}; }

    bool isList() const { return kind != Kind::dashboard && kind != Kind::settings; }
    // For list pages: the heading and the categories shown (empty: every category).
    QString listTitle() const;
    QList<ShortcutCategory> listCategories() const;

    bool operator==(const NavItem& other) const {
        return kind == other.kind && (kind != Kind::category || category == other.category);
    }
};

inline size_t qHash(const NavItem& item, size_t seed = 0) noexcept {
    const int payload = item.kind == NavItem::Kind::category ? static_cast<int>(item.category) : -1;
    return qHashMulti(seed, static_cast<int>(item.kind), payload);
}
