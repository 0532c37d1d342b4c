#include "platform/qt/PlistMarkupGuard.h"

#include <algorithm>
#include <cstring>
#include <string_view>

namespace {

constexpr std::pair<std::u16string_view, std::u16string_view> kUntagged[] = {
    {u"<!--", u"-->"}, {u"<![CDATA[", u"]]>"}, {u"<?", u"?>"}};

constexpr std::u16string_view kCheapReferences[] = {u"#", u"amp;", u"lt;", u"gt;", u"quot;", u"apos;"};

// '&'s that do not start a character reference or a predefined entity.
qsizetype costlyReferences(QStringView text) {
    qsizetype count = 0;
    for (qsizetype i = text.indexOf(u'&'); i >= 0; i = text.indexOf(u'&', i + 1)) {
        const QStringView rest = text.mid(i + 1);
        count += std::none_of(std::begin(kCheapReferences), std::end(kCheapReferences),
                              [rest](std::u16string_view name) { return rest.startsWith(QStringView(name)); });
    }
    return count;
}

bool isXmlChar(char16_t c) {
    return c >= 0x20 ? c < 0xFFFE : c == u'\t' || c == u'\n' || c == u'\r';
}

bool isAsciiAlphanumeric(char16_t c) {
    return (c >= u'0' && c <= u'9') || (c >= u'a' && c <= u'z') || (c >= u'A' && c <= u'Z');
}

// Whether the character reference at `s` ("&#65;", "&#x41;") names a character XML carries. Qt's reader takes
// "&#" with letters and digits up to ';' as a reference, and stops at every one it cannot decode so; text that
// is no reference at all, which stops it too, is left alone (true).
bool isReadableReference(const char16_t* s) {
    qsizetype end = 2;
    while (isAsciiAlphanumeric(s[end])) {
        ++end;
    }
    if (end == 2 || s[end] != u';') {
        return true;
    }
    const bool hex = s[2] == u'x';
    char32_t value = 0;
    for (qsizetype i = hex ? 3 : 2; i < end; ++i) {
        const char16_t c = s[i];
        const int digit = c <= u'9' ? c - u'0' : hex ? (c | 0x20) - u'a' + 10 : -1;
        if (digit < 0 || digit >= (hex ? 16 : 10)) {
            return false;
        }
        value = qMin<char32_t>(value * (hex ? 16 : 10) + char32_t(digit), 0x110000);  // past every character
    }
    if (end == (hex ? 3 : 2)) {
        return false;
    }
    return value >= 0x10000 ? value < 0x110000 : !QChar::isSurrogate(value) && isXmlChar(char16_t(value));
}

}  // namespace

// Plain pointer loops: this runs over every tag of the file, also in unoptimised builds.
std::optional<PlistMarkupGuard> PlistMarkupGuard::guard(const QString& original) {
    // Any name character will do: what holds it is judged by position. (Lone surrogates never get here:
    // decoding from UTF-8 and the writer's checks rule them out.)
    std::vector<qsizetype> replaced;
    const char16_t* const o = reinterpret_cast<const char16_t*>(original.constData());
    for (qsizetype i = 0, size = original.size(); i < size; ++i) {
        if (!isXmlChar(o[i])) {
            replaced.push_back(i);
        }
    }
    QString text = original;
    for (const qsizetype at : replaced) {
        text[at] = u'_';
    }
    const char16_t* s = reinterpret_cast<const char16_t*>(text.constData());  // null-terminated
    const qsizetype n = text.size();
    std::vector<qsizetype> names;  // start and length of each open element's name, in pairs, up to the limit
    names.reserve(2 * maxElementDepth);
    qsizetype depth = 0;  // open elements, cut out or not
    std::vector<std::pair<qsizetype, qsizetype>> cuts;
    qsizetype cutStart = -1;  // start of the element being cut out, -1 when none
    qsizetype cutDepth = 0;   // open elements around it
    // Comments, character data sections and processing instructions.
    std::vector<std::pair<qsizetype, qsizetype>> untagged;
    qsizetype markup = costlyReferences(text);
    for (qsizetype i = text.indexOf(u'<'); i >= 0; i = text.indexOf(u'<', i)) {
        if (cutStart < 0 && ++markup > maxMarkup) {
            return std::nullopt;
        }
        const char16_t second = s[i + 1];
        if (second == u'!' || second == u'?') {
            // Comments, character data and processing instructions hold no tags.
            qsizetype skipped = 0;
            for (const auto& [opening, terminator] : kUntagged) {
                if (QStringView(s + i, n - i).startsWith(QStringView(opening))) {
                    const qsizetype found = text.indexOf(QStringView(terminator), i + qsizetype(opening.size()));
                    skipped = found < 0 ? -1 : found + qsizetype(terminator.size());
                    break;
                }
            }
            if (skipped < 0) {
                return std::nullopt;
            }
            if (skipped > 0) {
                untagged.emplace_back(i, skipped);
                i = skipped;
                continue;
            }
        }
        const bool declaration = second == u'!';
        const bool closing = second == u'/';
        qsizetype k = i + (declaration || closing ? 2 : 1);
        const qsizetype nameStart = k;
        while (k < n && s[k] > u' ' && s[k] != u'>' && s[k] != u'/' && s[k] != u'<') {
            ++k;
        }
        const qsizetype nameLength = k - nameStart;
        int equals = 0;
        char16_t quote = 0;
        for (; k < n; ++k) {
            const char16_t c = s[k];
            if (quote) {
                quote = c == quote ? 0 : quote;
            } else if (c == u'>') {
                break;
            } else if (c == u'"' || c == u'\'') {
                quote = c;
            } else if (c == u'=') {
                ++equals;
            } else if (c == u'<' || (declaration && c == u'[')) {
                return std::nullopt;
            }
        }
        if (k >= n || nameLength == 0) {
            return std::nullopt;
        }
        const qsizetype end = k + 1;
        if (closing) {
            if (depth == 0) {
                return std::nullopt;
            }
            // Names are kept, and matched, down to the depth limit; deeper elements only need to balance.
            if (depth <= maxElementDepth) {
                const size_t top = names.size() - 2;
                if (names[top + 1] != nameLength ||
                    std::memcmp(s + names[top], s + nameStart, size_t(nameLength) * sizeof(char16_t)) != 0) {
                    return std::nullopt;
                }
                names.resize(top);
            }
            --depth;
            if (cutStart >= 0 && depth == cutDepth) {
                cuts.emplace_back(cutStart, end);
                cutStart = -1;
            }
        } else if (!declaration) {
            const bool empty = s[k - 1] == u'/';
            if (cutStart < 0 && (depth >= maxElementDepth || equals > maxAttributes)) {
                if (empty) {
                    cuts.emplace_back(i, end);
                } else {
                    cutStart = i;
                    cutDepth = depth;
                }
            }
            if (!empty) {
                if (depth < maxElementDepth) {
                    names.push_back(nameStart);
                    names.push_back(nameLength);
                }
                ++depth;
            }
        }
        i = end;
    }
    if (depth != 0) {
        return std::nullopt;
    }
    // A reference to a character XML cannot carry stops Qt's reader as the raw character does, and is
    // replaced alike, where it is one: not in what is skipped above, whose text is taken as it stands.
    auto section = untagged.cbegin();
    const qsizetype rawCount = qsizetype(replaced.size());
    for (qsizetype at = text.indexOf(u"&#"); at >= 0; at = text.indexOf(u"&#", at + 2)) {
        while (section != untagged.cend() && section->second <= at) {
            ++section;
        }
        if ((section == untagged.cend() || at < section->first) && !isReadableReference(s + at)) {
            replaced.push_back(at);
        }
    }
    if (qsizetype(replaced.size()) > rawCount) {
        for (auto at = replaced.cbegin() + rawCount; at != replaced.cend(); ++at) {
            text[*at] = u'_';
        }
        std::inplace_merge(replaced.begin(), replaced.begin() + rawCount, replaced.end());
        s = reinterpret_cast<const char16_t*>(text.constData());
    }
    PlistMarkupGuard guarded;
    guarded.m_replaced = std::move(replaced);
    if (cuts.empty()) {
        guarded.m_text = text;
    } else {
        qsizetype copied = 0;
        for (const auto& [start, end] : cuts) {
            guarded.m_text.append(QStringView(s + copied, start - copied)).append(u"<_/>");
            guarded.m_shifts.emplace_back(guarded.m_text.size(), end - guarded.m_text.size());
            copied = end;
        }
        guarded.m_text.append(QStringView(s + copied, n - copied));
    }
    return guarded;
}

bool PlistMarkupGuard::hasReplacementIn(qsizetype from, qsizetype to) const {
    const auto first = std::lower_bound(m_replaced.cbegin(), m_replaced.cend(), originalPosition(from));
    return first != m_replaced.cend() && *first < originalPosition(to);
}

qsizetype PlistMarkupGuard::originalPosition(qsizetype position) const {
    const auto after = std::upper_bound(m_shifts.cbegin(), m_shifts.cend(), position,
                                        [](qsizetype at, const auto& shift) { return at < shift.first; });
    return position + (after == m_shifts.cbegin() ? 0 : std::prev(after)->second);
}
