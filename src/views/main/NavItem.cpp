#include "views/main/NavItem.h"

QString NavItem::listTitle() const {
    switch (kind) {
        case Kind::allShortcuts:
            return QStringLiteral("All Shortcuts");
        case Kind::category:
            return ShortcutCategories::rawValue(category);
        case Kind::dataGroup:
            return QStringLiteral("Data & Formulas");
        case Kind::pivotGroup:
            return QStringLiteral("Pivot & Review");
        case Kind::dashboard:
        case Kind::settings:
            break;
    }
    return QString();
}

QList<ShortcutCategory> NavItem::listCategories() const {
    switch (kind) {
        case Kind::category:
            return {category};
        case Kind::dataGroup:
            return {ShortcutCategory::data, ShortcutCategory::formulas, ShortcutCategory::dataTools};
        case Kind::pivotGroup:
            return {ShortcutCategory::pivot, ShortcutCategory::review, ShortcutCategory::view};
        case Kind::dashboard:
        case Kind::allShortcuts:
        case Kind::settings:
            break;
    }
    return {};
}
