#pragma once

#include <QMap>
#include <QString>
#include <QStringList>
#include <QVariantMap>

#include "platform/UserDefaults.h"

// The top-level dictionary of a property-list file as this program holds it: the values it could read,
// and, for every key whose value it could not read (too deep, out of range, of an unknown kind), that
// value's XML text exactly as found, so that writing the file back keeps it until the key itself is
// written. An entry whose key cannot be read is kept whole, key and value, as found.
struct PlistDocument {
    QVariantMap values;
    QMap<QString, QString> unreadable;
    QStringList unreadableEntries;

    // Values nest at most this deep (an array in an array counts two); deeper ones are unreadable.
    static constexpr int maxDepth = UserDefaults::maxDepth;
    // A defaults file is a few kilobytes; the reader refuses anything larger than this, and the writer
    // refuses to write it.
    static constexpr qsizetype maxFileSize = 4 * 1024 * 1024;
};
