#pragma once

#include <QJsonObject>
#include <QString>
#include <QStringList>
#include <optional>

#include "models/ShortcutCategory.h"

// One catalogue entry: a Windows key sequence and what the user presses or chooses on the Mac.
// Identified by `id`; names may repeat.
struct Shortcut {
    QString id;
    ShortcutCategory category = ShortcutCategory::essential;
    QString name;
    QString description;
    QStringList windowsKeys;  // one display token per key press or held key
    QStringList macKeys;      // a key combination, a key sequence or a menu path
    bool isEnabled = true;

    bool operator==(const Shortcut&) const = default;

    // JSON form with one member per field under the field's own name, category as its raw value.
    QJsonObject toJson() const;
    // Every member is required; nothing when one is missing or of the wrong kind.
    static std::optional<Shortcut> fromJson(const QJsonObject& object);
};
