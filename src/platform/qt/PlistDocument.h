#pragma once

#include <QMap>
#include <QString>
#include <QVariantMap>

// The top-level dictionary of a property-list file as this program holds it: the values it could read,
// and, for every key whose value it could not read (too deep, out of range, of an unknown kind), that
// value's XML text exactly as found, so that writing the file back keeps it until the key itself is
// written.
struct PlistDocument {
    QVariantMap values;
    QMap<QString, QString> unreadable;

    // Values nest at most this deep (an array in an array counts two); deeper ones are unreadable.
    static constexpr int maxDepth = 256;
    // A defaults file is a few kilobytes; the reader refuses anything larger than this.
    static constexpr qsizetype maxFileSize = 4 * 1024 * 1024;
};
