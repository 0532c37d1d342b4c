#pragma once

#include <QString>
#include <optional>
#include <utility>
#include <vector>

#include "platform/qt/PlistDocument.h"

// What Qt's XML reader gets to see of a property list's text. The reader's costs grow steeply with
// nesting depth, pairwise with the attributes of one tag, and with every token; the guard scans the
// markup once, in linear time and without recursion, replaces each element that no readable value can be
// (nested too deep, too many attributes) with the stand-in "<_/>", which reads as a value of unknown kind,
// and refuses text with more markup than a defaults file ever holds.
//
// Characters XML cannot carry (NUL and other C0 controls, U+FFFE, U+FFFF), which earlier writers put into
// strings and keys raw or as character references ("&#1;"), would stop Qt's reader at once; each (a
// reference's '&') becomes '_', and the reader treats whatever holds one (see hasReplacementIn()) as
// unreadable instead of the whole file.
class PlistMarkupGuard {
public:
    // Deeper elements are cut out: the root, its dictionary, the deepest containers, one scalar in them.
    static constexpr qsizetype maxElementDepth = PlistDocument::maxDepth + 3;
    // A property list carries one attribute, the root's version.
    static constexpr int maxAttributes = 32;
    // Tags, comments, processing instructions and character data sections outside the elements cut out,
    // and references to entities other than the predefined ones, each of which Qt reads as a token of its
    // own. Character references and the predefined entities (what the writer escapes) cost no more than
    // text and are not counted. A defaults file holds a few hundred.
    static constexpr qsizetype maxMarkup = 50000;

    // Nothing when the text is certainly not a document that can be read: unbalanced or mismatched tags,
    // unterminated markup, a document type with an internal subset (entity and attribute declarations have
    // no place in a property list), too much markup.
    static std::optional<PlistMarkupGuard> guard(const QString& original);

    // The text for the XML reader.
    const QString& text() const { return m_text; }
    // Where a position of text() is in the original text. Positions inside a stand-in are not mapped.
    qsizetype originalPosition(qsizetype position) const;
    // Whether text() holds a replaced character in [from, to).
    bool hasReplacementIn(qsizetype from, qsizetype to) const;

private:
    QString m_text;
    // For each stand-in: where it ends in m_text, and how many characters were cut out up to there.
    std::vector<std::pair<qsizetype, qsizetype>> m_shifts;
    // Positions in the original text of replaced characters, ascending.
    std::vector<qsizetype> m_replaced;
};
