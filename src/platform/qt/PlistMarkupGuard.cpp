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
    const char16_t* const s = reinterpret_cast<const char16_t*>(text.constData());  // null-terminated
    const qsizetype n = text.size();
    std::vector<qsizetype> names;  // start and length of each open element's name, in pairs, up to the limit
    names.reserve(2 * maxElementDepth);
    qsizetype depth = 0;  // open elements, cut out or not
    std::vector<std::pair<qsizetype, qsizetype>> cuts;
    qsizetype cutStart = -1;  // start of the element being cut out, -1 when none
    qsizetype cutDepth = 0;   // open elements around it
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
