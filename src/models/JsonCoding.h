#pragma once

#include <QByteArray>
#include <QJsonObject>
#include <QString>

// The key rules of the backend's JSON and the entry point of every reply decoder. Field names
// are lower camel case; the wire uses their snake_case form.
namespace JsonCoding {

// Turns a reply key into the field name it stands for. Leading and trailing underscores stay;
// a key whose middle part has no "_" (or that is all underscores) stays as it is; otherwise the
// middle is split at every "_" (empty pieces dropped), the first piece lower-cased, each later
// piece given an upper-case first character and a lower-case rest, and the pieces joined.
QString convertFromSnakeCase(const QString& key);

// Turns a field name into its wire key: a new word starts where a lower-case letter or digit is
// followed by an upper-case letter; words are lower-cased and joined with "_".
QString convertToSnakeCase(const QString& field);

// Parses a whole reply body whose top-level value must be a JSON object. Throws
// JsonDecodingError for anything else (empty body, invalid JSON or UTF-8, an array, trailing text).
// A key written twice keeps its last value. A number below the 64-bit range stays below it (Qt
// alone would round the first ones past the minimum to the minimum).
QJsonObject parseObject(const QByteArray& body);

}  // namespace JsonCoding
