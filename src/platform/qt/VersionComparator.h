#pragma once

#include <QString>

// The usual dotted version comparison of update feeds: versions split into numbers, words and
// dots; numbers compare numerically (any length), words as text; a number outranks a word or a
// dot at the same place; trailing zero parts do not count (1.0 == 1.0.0), while a trailing word
// marks a pre-release (1.0b < 1.0, 1.0.0b < 1.0).
class VersionComparator {
public:
    // Negative when `a` is older than `b`, 0 when equal, positive when newer.
    static int compare(const QString& a, const QString& b);
};
