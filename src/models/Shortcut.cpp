#include "models/Shortcut.h"

#include <QJsonArray>

namespace {

std::optional<QStringList> stringList(const QJsonValue& value) {
    if (!value.isArray()) {
        return std::nullopt;
    }
    QStringList out;
    for (const QJsonValue& item : value.toArray()) {
        if (!item.isString()) {
            return std::nullopt;
        }
        out.append(item.toString());
    }
    return out;
}

}  // namespace

QJsonObject Shortcut::toJson() const {
    QJsonObject object;
    object.insert(QStringLiteral("id"), id);
    object.insert(QStringLiteral("category"), ShortcutCategories::rawValue(category));
    object.insert(QStringLiteral("name"), name);
    object.insert(QStringLiteral("description"), description);
    object.insert(QStringLiteral("windowsKeys"), QJsonArray::fromStringList(windowsKeys));
    object.insert(QStringLiteral("macKeys"), QJsonArray::fromStringList(macKeys));
    object.insert(QStringLiteral("isEnabled"), isEnabled);
    return object;
}

std::optional<Shortcut> Shortcut::fromJson(const QJsonObject& object) {
    const QJsonValue id = object.value(QStringLiteral("id"));
    const QJsonValue category = object.value(QStringLiteral("category"));
    const QJsonValue name = object.value(QStringLiteral("name"));
    const QJsonValue description = object.value(QStringLiteral("description"));
    const QJsonValue enabled = object.value(QStringLiteral("isEnabled"));
    const auto windowsKeys = stringList(object.value(QStringLiteral("windowsKeys")));
    const auto macKeys = stringList(object.value(QStringLiteral("macKeys")));
    if (!id.isString() || !category.isString() || !name.isString() || !description.isString() || !enabled.isBool() ||
        !windowsKeys || !macKeys) {
        return std::nullopt;
    }
    const auto parsedCategory = ShortcutCategories::fromRawValue(category.toString());
    if (!parsedCategory) {
        return std::nullopt;
    }
    return Shortcut{id.toString(), *parsedCategory,  name.toString(), description.toString(),
                    *windowsKeys,  *macKeys,         enabled.toBool()};
}
