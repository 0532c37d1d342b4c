#pragma once

#include <QJsonArray>
#include <QJsonObject>
#include <QJsonValue>
#include <QList>
#include <QString>
#include <QStringList>
#include <optional>

// Strict, typed reads of one JSON object of a backend reply, by field name. Every key of the
// object is matched through JsonCoding::convertFromSnakeCase, so a reply may write a key in
// snake case or as the exact field name; keys that match no field are never looked at.
//
// Required fields fail when the key is absent or null; optional fields read both as "no value".
// A string comes only from a JSON string holding valid text; an integer only from a number with
// an integral value within qint64 (2.0 counts, 1.5 and 1e19 do not; Qt keeps integer literals
// exact, so every qint64 written as an integer round-trips); a Boolean only from true or false;
// an array only when every element decodes. Every failure throws JsonDecodingError naming the
// wire path ("shortcuts[2].mac_keys").
class JsonObjectReader {
public:
    // `path` is where this object sits in the reply, for messages; empty for the top level.
    explicit JsonObjectReader(const QJsonObject& object, QString path = QString());

    QString requiredString(const QString& field) const;
    std::optional<QString> optionalString(const QString& field) const;
    qint64 requiredInteger(const QString& field) const;
    bool requiredBool(const QString& field) const;
    QStringList requiredStringArray(const QString& field) const;

    // An array of objects, each read by `decode(const JsonObjectReader&)`; one bad element fails all.
    template <typename T, typename Decode>
    QList<T> requiredObjectArray(const QString& field, Decode decode) const {
        const QJsonArray array = requiredArray(field);
        QList<T> out;
        out.reserve(array.size());
        for (qsizetype i = 0; i < array.size(); ++i) {
            const QJsonValue element = array.at(i);
            if (!element.isObject()) {
                throwTypeMismatch(elementPath(field, i), QStringLiteral("an object"), element);
            }
            out.append(decode(JsonObjectReader(element.toObject(), elementPath(field, i))));
        }
        return out;
    }

private:
    // The value of the key that names `field`, or an undefined value when none does.
    QJsonValue lookup(const QString& field) const;
    // As lookup(), but absent and null both throw.
    QJsonValue requiredValue(const QString& field) const;
    QJsonArray requiredArray(const QString& field) const;
    // `where` names the value for a message; only called when one is thrown.
    template <typename Where>
    static QString stringOrThrow(const QJsonValue& value, Where where);

    QString fieldPath(const QString& field) const;
    QString elementPath(const QString& field, qsizetype index) const;
    [[noreturn]] static void throwTypeMismatch(const QString& path, const QString& expected, const QJsonValue& found);

    QJsonObject m_object;
    // (field name, the reply's own key) for every key; objects are small, a list beats a hash here.
    QList<std::pair<QString, QString>> m_keyForField;
    QString m_path;
};
