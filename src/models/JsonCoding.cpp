#include "models/JsonCoding.h"

#include <QJsonDocument>
#include <QJsonParseError>
#include <algorithm>

#include "models/JsonDecodingError.h"

namespace JsonCoding {

namespace {

const QChar kUnderscore = QLatin1Char('_');

bool isAscii(QStringView text) {
    for (const QChar c : text) {
        if (c.unicode() >= 0x80) {
            return false;
        }
    }
    return true;
}

char16_t asciiLower(char16_t c) {
    return (c >= u'A' && c <= u'Z') ? static_cast<char16_t>(c + 32) : c;
}
char16_t asciiUpper(char16_t c) {
    return (c >= u'a' && c <= u'z') ? static_cast<char16_t>(c - 32) : c;
}

// Appends the piece lower-cased, or with its first character (a whole surrogate pair when there is
// one) upper-cased and the rest lower-cased. Full Unicode case mapping, with a fast path for ASCII,
// which is what every real key is.
void appendPiece(QString& out, QStringView piece, bool capitalizeFirst) {
    if (isAscii(piece)) {
        for (qsizetype i = 0; i < piece.size(); ++i) {
            const char16_t c = piece.at(i).unicode();
            out += QChar(i == 0 && capitalizeFirst ? asciiUpper(c) : asciiLower(c));
        }
        return;
    }
    if (!capitalizeFirst) {
        out += piece.toString().toLower();
        return;
    }
    const qsizetype firstLength = (piece.size() > 1 && piece.at(0).isHighSurrogate()) ? 2 : 1;
    out += piece.first(firstLength).toString().toUpper();
    out += piece.sliced(firstLength).toString().toLower();
}

bool isDigit(char c) {
    return c >= '0' && c <= '9';
}

// Whether the unsigned decimal literal int.frac e exp is greater than 2^63, compared exactly.
bool exceedsTwoToThe63(QByteArrayView intDigits, QByteArrayView fracDigits, qint64 exponent) {
    static constexpr QByteArrayView kTwoToThe63 = "9223372036854775808";
    QByteArray digits = intDigits.toByteArray() + fracDigits.toByteArray();
    qsizetype leadingZeros = 0;
    while (leadingZeros < digits.size() && digits.at(leadingZeros) == '0') {
        ++leadingZeros;
    }
    const QByteArrayView significant = QByteArrayView(digits).sliced(leadingZeros);
    if (significant.isEmpty()) {
        return false;
    }
    // The value is 0.<significant> times ten to the power of `before`.
    const qint64 before = significant.size() + exponent - fracDigits.size();
    if (before != kTwoToThe63.size()) {
        return before > kTwoToThe63.size();
    }
    const qsizetype common = std::min(significant.size(), kTwoToThe63.size());
    const int order = significant.first(common).compare(kTwoToThe63.first(common));
    if (order != 0) {
        return order > 0;
    }
    for (const char c : significant.sliced(common)) {
        if (c != '0') {
            return true;
        }
    }
    return false;
}

// Qt reads a number literal through a double and keeps it as an integer when that double fits,
// so literals down to 1024 below the 64-bit minimum would come back as the minimum itself. Every
// negative literal beyond -2^63 is rewritten as -1e19 before parsing: still a number, still out
// of range. Strings are skipped; anything malformed is left for the parser to refuse.
QByteArray pinNegativeOverflows(const QByteArray& body) {
    if (!body.contains('-')) {
        return body;
    }
    const qsizetype n = body.size();
    const char* p = body.constData();
    QByteArray out;
    qsizetype copied = 0;
    for (qsizetype i = 0; i < n; ++i) {
        if (p[i] == '"') {
            for (++i; i < n && p[i] != '"'; ++i) {
                if (p[i] == '\\') {
                    ++i;
                }
            }
            continue;
        }
        if (p[i] != '-') {
            continue;
        }
        const qsizetype start = i;
        qsizetype j = i + 1;
        const qsizetype intStart = j;
        while (j < n && isDigit(p[j])) {
            ++j;
        }
        const QByteArrayView intDigits(p + intStart, j - intStart);
        QByteArrayView fracDigits;
        if (j < n && p[j] == '.') {
            const qsizetype fracStart = ++j;
            while (j < n && isDigit(p[j])) {
                ++j;
            }
            fracDigits = QByteArrayView(p + fracStart, j - fracStart);
        }
        qint64 exponent = 0;
        if (j < n && (p[j] == 'e' || p[j] == 'E')) {
            ++j;
            const bool negative = j < n && p[j] == '-';
            if (j < n && (p[j] == '-' || p[j] == '+')) {
                ++j;
            }
            for (; j < n && isDigit(p[j]); ++j) {
                exponent = std::min<qint64>(exponent * 10 + (p[j] - '0'), Q_INT64_C(1000000000000));
            }
            exponent = negative ? -exponent : exponent;
        }
        // Fewer than 19 digits before the point and no exponent stay below 10^18 < 2^63.
        const bool couldExceed = exponent != 0 || intDigits.size() >= 19;
        if (couldExceed && exceedsTwoToThe63(intDigits, fracDigits, exponent)) {
            out.append(p + copied, start - copied);
            out.append("-1e19");
            copied = j;
        }
        i = j - 1;
    }
    if (copied == 0) {
        return body;
    }
    out.append(p + copied, n - copied);
    return out;
}

QString describeTopLevel(const QJsonDocument& document) {
    if (document.isArray()) {
        return QStringLiteral("an array");
    }
    return QStringLiteral("nothing");
}

}  // namespace

QString convertFromSnakeCase(const QString& key) {
    qsizetype first = 0;
    while (first < key.size() && key.at(first) == kUnderscore) {
        ++first;
    }
    if (first == key.size()) {
        return key;  // empty, or underscores only
    }
    qsizetype last = key.size() - 1;
    while (last > first && key.at(last) == kUnderscore) {
        --last;
    }
    const QStringView middle = QStringView(key).sliced(first, last - first + 1);
    if (!middle.contains(kUnderscore)) {
        return key;  // a single word, perhaps already camel case: left alone
    }

    QString out;
    out.reserve(key.size());
    out += QStringView(key).first(first);
    bool isFirstPiece = true;
    for (const QStringView piece : middle.tokenize(kUnderscore, Qt::SkipEmptyParts)) {
        appendPiece(out, piece, !isFirstPiece);
        isFirstPiece = false;
    }
    out += QStringView(key).sliced(last + 1);
    return out;
}

QString convertToSnakeCase(const QString& field) {
    QString out;
    out.reserve(field.size() + 4);
    for (qsizetype i = 0; i < field.size(); ++i) {
        const QChar c = field.at(i);
        if (i > 0 && c.isUpper()) {
            const QChar previous = field.at(i - 1);
            if (previous.isLower() || previous.isDigit()) {
                out += kUnderscore;
            }
        }
        out += c.toLower();
    }
    return out;
}

QJsonObject parseObject(const QByteArray& body) {
    QJsonParseError error;
    const QJsonDocument document = QJsonDocument::fromJson(pinNegativeOverflows(body), &error);
    if (error.error != QJsonParseError::NoError) {
        throw JsonDecodingError(
            QStringLiteral("The reply is not valid JSON: %1 at offset %2").arg(error.errorString()).arg(error.offset));
    }
    if (!document.isObject()) {
        throw JsonDecodingError(
            QStringLiteral("Expected a JSON object at the top level, found %1").arg(describeTopLevel(document)));
    }
    return document.object();
}

}  // namespace JsonCoding
