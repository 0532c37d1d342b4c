#include "models/JsonCoding.h"

#include <QJsonDocument>
#include <QJsonParseError>

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
    const QJsonDocument document = QJsonDocument::fromJson(body, &error);
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
