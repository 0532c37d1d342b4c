#include "platform/qt/PlistXmlReader.h"

#include <QDateTime>
#include <QRegularExpression>
#include <QStringDecoder>
#include <QXmlStreamReader>
#include <cmath>
#include <limits>
#include <vector>

#include "platform/qt/PlistMarkupGuard.h"

namespace {

enum class Element { Key, Array, Dict, String, Integer, Real, True, False, Data, Date, Unknown };

Element elementOf(QStringView name) {
    switch (name.size()) {
        case 3:
            return name == u"key" ? Element::Key : Element::Unknown;
        case 4:
            return name == u"dict"   ? Element::Dict
                   : name == u"real" ? Element::Real
                   : name == u"true" ? Element::True
                   : name == u"data" ? Element::Data
                   : name == u"date" ? Element::Date
                                     : Element::Unknown;
        case 5:
            return name == u"array" ? Element::Array : name == u"false" ? Element::False : Element::Unknown;
        case 6:
            return name == u"string" ? Element::String : Element::Unknown;
        case 7:
            return name == u"integer" ? Element::Integer : Element::Unknown;
        default:
            return Element::Unknown;
    }
}

// Number text longer than this is no number any writer makes, and parsing it could take long.
constexpr qsizetype kMaxNumberText = 64;

std::optional<qint64> parseInteger(QStringView text) {
    text = text.trimmed();
    if (text.size() > kMaxNumberText) {
        return std::nullopt;
    }
    bool negative = false;
    if (!text.isEmpty() && (text.front() == u'-' || text.front() == u'+')) {
        negative = text.front() == u'-';
        text = text.mid(1);
    }
    quint64 base = 10;
    if (text.size() > 2 && text[0] == u'0' && (text[1] == u'x' || text[1] == u'X')) {
        base = 16;
        text = text.mid(2);
    }
    if (text.isEmpty()) {
        return std::nullopt;
    }
    quint64 magnitude = 0;
    for (const QChar c : text) {
        const char16_t lower = c.toLower().unicode();
        int digit = -1;
        if (lower >= u'0' && lower <= u'9') {
            digit = lower - u'0';
        } else if (base == 16 && lower >= u'a' && lower <= u'f') {
            digit = lower - u'a' + 10;
        }
        if (digit < 0 || __builtin_mul_overflow(magnitude, base, &magnitude) ||
            __builtin_add_overflow(magnitude, quint64(digit), &magnitude)) {
            return std::nullopt;
        }
    }
    // Signed 64 bits only: larger magnitudes are unreadable, never wrapped.
    constexpr quint64 largest = quint64(std::numeric_limits<qint64>::max());
    if (negative) {
        if (magnitude > largest + 1) {
            return std::nullopt;
        }
        return magnitude == largest + 1 ? std::numeric_limits<qint64>::min() : -qint64(magnitude);
    }
    if (magnitude > largest) {
        return std::nullopt;
    }
    return qint64(magnitude);
}

std::optional<double> parseReal(QStringView text) {
    if (text.trimmed().size() > kMaxNumberText) {
        return std::nullopt;
    }
    const QString t = text.trimmed().toString().toLower();
    if (t == u"nan") {
        return std::numeric_limits<double>::quiet_NaN();
    }
    if (t == u"inf" || t == u"+inf" || t == u"infinity" || t == u"+infinity") {
        return std::numeric_limits<double>::infinity();
    }
    if (t == u"-inf" || t == u"-infinity") {
        return -std::numeric_limits<double>::infinity();
    }
    bool ok = false;
    const double d = t.toDouble(&ok);
    if (!ok || !std::isfinite(d)) {
        return std::nullopt;
    }
    return d;
}

// Exactly "yyyy-MM-ddTHH:mm:ssZ", the form property-list writers use; nothing the writer would not write.
std::optional<QDateTime> parseDate(QStringView text) {
    text = text.trimmed();
    static constexpr char16_t pattern[] = u"0000-00-00T00:00:00Z";
    if (text.size() != qsizetype(std::size(pattern)) - 1) {
        return std::nullopt;
    }
    for (qsizetype i = 0; i < text.size(); ++i) {
        const char16_t c = text[i].unicode();
        if (pattern[i] == u'0' ? c < u'0' || c > u'9' : c != pattern[i]) {
            return std::nullopt;
        }
    }
    auto number = [text](qsizetype at, qsizetype length) { return text.mid(at, length).toInt(); };
    const QDateTime date(QDate(number(0, 4), number(5, 2), number(8, 2)),
                         QTime(number(11, 2), number(14, 2), number(17, 2)), Qt::UTC);
    // Out-of-range fields (month 13, hour 24, the year 0) make an invalid date.
    if (!date.isValid() || !UserDefaults::isStorableDate(date)) {
        return std::nullopt;
    }
    return date;
}

std::optional<QVariant> scalarValue(Element kind, const QString& text) {
    switch (kind) {
        case Element::Key:
        case Element::String:
            return QVariant(text);
        case Element::Integer:
            if (const auto integer = parseInteger(text)) {
                return QVariant::fromValue<qint64>(*integer);
            }
            return std::nullopt;
        case Element::Real:
            if (const auto real = parseReal(text)) {
                return QVariant(*real);
            }
            return std::nullopt;
        case Element::True:
        case Element::False:
            if (QStringView(text).trimmed().isEmpty()) {
                return QVariant(kind == Element::True);
            }
            return std::nullopt;
        case Element::Data: {
            // Base64 with any white space; the decoder skips the white space.
            static const QRegularExpression notBase64(QStringLiteral("[^A-Za-z0-9+/=\\t\\n\\r ]"));
            if (text.contains(notBase64)) {
                return std::nullopt;
            }
            return QVariant(QByteArray::fromBase64(text.toLatin1()));
        }
        case Element::Date:
            if (const auto date = parseDate(text)) {
                return QVariant(*date);
            }
            return std::nullopt;
        default:
            return std::nullopt;
    }
}

// One open array or dictionary of the value being read.
struct Container {
    bool isDictionary = false;
    QVariantList list;
    QVariantMap map;
    std::optional<QString> key;  // a dictionary's key still waiting for its value
};

// Reads the element whose start tag `xml` has just read, through its end tag, without recursion. Nothing
// when it is not a readable value (or, with `asKey`, a key); the reader is then past its end tag all the
// same unless the document itself is broken.
std::optional<QVariant> readElement(QXmlStreamReader& xml, bool asKey) {
    std::vector<Container> stack;
    std::optional<QVariant> result;
    Element scalar = Element::Unknown;  // the scalar element being read, if any
    QString text;
    qsizetype depth = 0;  // elements of this value open, readable or not
    bool failed = false;

    for (auto token = xml.tokenType(); !xml.hasError(); token = xml.readNext()) {
        switch (token) {
            case QXmlStreamReader::StartElement: {
                ++depth;
                if (failed) {
                    break;
                }
                const Element element = elementOf(xml.name());
                const bool keyExpected = asKey || (!stack.empty() && stack.back().isDictionary && !stack.back().key);
                if (scalar != Element::Unknown || (element == Element::Key) != keyExpected || (asKey && depth > 1)) {
                    failed = true;  // markup in a scalar, or a key where a value belongs or the other way round
                } else if (element == Element::Array || element == Element::Dict) {
                    failed = stack.size() >= size_t(PlistDocument::maxDepth);
                    if (!failed) {
                        stack.push_back(Container{element == Element::Dict, {}, {}, {}});
                    }
                } else if (element == Element::Unknown) {
                    failed = true;
                } else {
                    scalar = element;
                    text.clear();
                }
                break;
            }
            case QXmlStreamReader::EndElement: {
                --depth;
                if (failed) {
                    if (depth == 0) {
                        return std::nullopt;
                    }
                    break;
                }
                std::optional<QVariant> value;
                if (scalar != Element::Unknown) {
                    value = scalarValue(scalar, text);
                    if (value && scalar == Element::Key && !asKey) {
                        stack.back().key = value->toString();
                        value.reset();
                    } else {
                        failed = !value;
                    }
                    scalar = Element::Unknown;
                } else {
                    Container done = std::move(stack.back());
                    stack.pop_back();
                    failed = done.key.has_value();  // a key without a value
                    value = done.isDictionary ? QVariant(std::move(done.map)) : QVariant(std::move(done.list));
                }
                if (failed) {
                    value.reset();
                } else if (value && stack.empty()) {
                    result = std::move(value);
                } else if (value && !stack.back().isDictionary) {
                    stack.back().list.append(std::move(*value));
                } else if (value) {
                    stack.back().map.insert(*stack.back().key, std::move(*value));
                    stack.back().key.reset();
                }
                if (depth == 0) {
                    return failed ? std::nullopt : result;
                }
                break;
            }
            case QXmlStreamReader::Characters:
                if (scalar != Element::Unknown) {
                    text += xml.text();
                } else if (!xml.isWhitespace()) {
                    failed = true;
                }
                break;
            case QXmlStreamReader::Comment:
            case QXmlStreamReader::ProcessingInstruction:
                break;
            default:
                // An entity the document does not declare; a document type declaration, which Qt's reader
                // lets through even here.
                if (xml.atEnd()) {
                    return std::nullopt;
                }
                failed = true;
                break;
        }
    }
    return std::nullopt;
}

// Moves to the next start or end tag; false at the end of the document or on an error.
bool nextTag(QXmlStreamReader& xml) {
    while (!xml.atEnd()) {
        const auto token = xml.readNext();
        if (token == QXmlStreamReader::StartElement || token == QXmlStreamReader::EndElement) {
            return true;
        }
    }
    return false;
}

std::optional<PlistDocument> readRootDictionary(QXmlStreamReader& xml, const QString& original,
                                                const PlistMarkupGuard& guarded) {
    if (!nextTag(xml)) {
        return std::nullopt;
    }
    const bool wrapped = xml.name() == u"plist";
    if (wrapped && !nextTag(xml)) {
        return std::nullopt;
    }
    if (xml.tokenType() != QXmlStreamReader::StartElement || xml.name() != u"dict") {
        return std::nullopt;
    }
    PlistDocument document;
    std::optional<QString> key;
    qint64 unreadableKeyStart = -1;  // where a key that cannot be read began, while its value is due
    // Where the last tag ended: a value's text runs from there to its own end. (After character data the
    // reader's offset is one character ahead, after a tag it is exact.)
    qint64 previousEnd = xml.characterOffset();
    // Trimmed of XML's white space only: a vertical tab or form feed is kept and keeps its entry unreadable.
    auto originalText = [&](qint64 from, qint64 to) {
        qsizetype start = guarded.originalPosition(from);
        qsizetype end = guarded.originalPosition(to);
        auto isSpace = [&original](qsizetype at) {
            const char16_t c = original[at].unicode();
            return c == u' ' || c == u'\t' || c == u'\n' || c == u'\r';
        };
        while (start < end && isSpace(start)) {
            ++start;
        }
        while (end > start && isSpace(end - 1)) {
            --end;
        }
        return original.mid(start, end - start);
    };
    for (auto token = xml.readNext(); token != QXmlStreamReader::EndElement; token = xml.readNext()) {
        if (xml.hasError() || xml.atEnd()) {
            return std::nullopt;
        }
        if (token != QXmlStreamReader::StartElement) {
            continue;
        }
        if (xml.name() == u"key") {
            const auto name = readElement(xml, true);
            const bool readable = name && !guarded.hasReplacementIn(previousEnd, xml.characterOffset());
            key = readable ? std::optional<QString>(name->toString()) : std::nullopt;
            unreadableKeyStart = readable ? -1 : previousEnd;
        } else if (key) {
            // Readable or not, the value replaces what an earlier copy of the key held.
            auto value = readElement(xml, false);
            document.values.remove(*key);
            document.unreadable.remove(*key);
            if (value && !guarded.hasReplacementIn(previousEnd, xml.characterOffset())) {
                document.values.insert(*key, std::move(*value));
            } else {
                document.unreadable.insert(*key, originalText(previousEnd, xml.characterOffset()));
            }
            key.reset();
        } else {
            readElement(xml, false);
            // Without a readable key nothing can name the value, but an entry whose key is unreadable is kept.
            if (unreadableKeyStart >= 0) {
                document.unreadableEntries.append(originalText(unreadableKeyStart, xml.characterOffset()));
                unreadableKeyStart = -1;
            }
        }
        previousEnd = xml.characterOffset();
    }
    // After the dictionary only the end of the document (and of its wrapper) may follow.
    if ((wrapped && (!nextTag(xml) || xml.tokenType() != QXmlStreamReader::EndElement)) || nextTag(xml) ||
        xml.hasError()) {
        return std::nullopt;
    }
    return document;
}

}  // namespace

std::optional<PlistDocument> PlistXmlReader::read(const QByteArray& bytes) {
    if (bytes.size() > PlistDocument::maxFileSize) {
        return std::nullopt;
    }
    QStringDecoder decoder(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
    const QString original = decoder.decode(bytes);
    if (decoder.hasError()) {
        return std::nullopt;
    }
    const auto guarded = PlistMarkupGuard::guard(original);
    if (!guarded) {
        return std::nullopt;
    }
    QXmlStreamReader xml(guarded->text());
    xml.setNamespaceProcessing(false);
    return readRootDictionary(xml, original, *guarded);
}
