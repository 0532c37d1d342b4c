#pragma once

#include <QByteArray>

#include "platform/qt/PlistDocument.h"

// Writes an XML property list (UTF-8, tab-indented, keys sorted) that PlistXmlReader reads back with every
// value of the same kind. The text of unreadable values goes out exactly as it came in. Values of kinds a
// property list cannot hold, or nested deeper than PlistDocument::maxDepth, are left out with a warning;
// characters XML cannot carry become U+FFFD.
class PlistXmlWriter {
public:
    static QByteArray write(const PlistDocument& document);
};
