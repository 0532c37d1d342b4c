#pragma once

#include <QByteArray>
#include <optional>

#include "platform/qt/PlistDocument.h"

// Reads an XML property list whose root is a dictionary (UTF-8, as this program and the platform's tools
// write it). Works on bytes in memory, never recurses, and takes time in proportion to the input: markup
// nested deeper than any readable value, or start tags with absurd numbers of attributes, are cut out
// before Qt's XML reader sees them (its costs grow with both).
//
// Returns nothing when the bytes are not such a document at all: not UTF-8, not well-formed XML, a root
// that is not a dictionary, a document type with an internal subset (entity and attribute declarations
// have no place in a property list), or more than PlistDocument::maxFileSize bytes. Binary property lists
// are therefore unreadable here. A value that cannot be read is kept in `unreadable` under its key, and an
// entry whose key cannot be read in `unreadableEntries`; characters XML cannot carry, raw or as references,
// make only the entry that holds them unreadable. Number text past 64 characters is unreadable, and dates
// are read only in the form the writer writes, so that every value read can be written back.
class PlistXmlReader {
public:
    static std::optional<PlistDocument> read(const QByteArray& bytes);
};
