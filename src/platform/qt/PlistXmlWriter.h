#pragma once

#include <QByteArray>
#include <QString>
#include <optional>

#include "platform/qt/PlistDocument.h"

// Writes an XML property list (UTF-8, tab-indented, keys sorted) that PlistXmlReader reads back exactly:
// every value of the same kind and equal, every string and key character for character. The text of
// unreadable values and entries goes out exactly as it came in.
//
// Refuses, with the reason in `problem`, a document it cannot write so: a key or value that
// UserDefaults::unstorableReason() refuses, or a file the reader would not take (more than
// PlistDocument::maxFileSize bytes, more markup than PlistMarkupGuard allows). Nothing is ever left out
// or replaced.
class PlistXmlWriter {
public:
    static std::optional<QByteArray> write(const PlistDocument& document, QString* problem = nullptr);
};
