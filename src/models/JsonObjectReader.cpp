#include "models/JsonObjectReader.h"

#include <cmath>

#include "models/JsonCoding.h"
#include "models/JsonDecodingError.h"

namespace {

QString describe(const QJsonValue& value) {
    switch (value.type()) {
        case QJsonValue::Null:
            return QStringLiteral("null");
        case QJsonValue::Bool:
            return QStringLiteral("a Boolean");
        case QJsonValue::Double:
            return QStringLiteral("a number");
        case QJsonValue::String:
            return QStringLiteral("a string");
        case QJsonValue::Array:
            return QStringLiteral("an array");
        case QJsonValue::Object:
            return QStringLiteral("an object");
        case QJsonValue::Undefined:
            break;
    }
    return QStringLiteral("nothing");
}

// Two to the 63rd, exactly representable as a double; the qint64 range is [-2^63, 2^63).
constexpr double kTwoToThe63 = 9223372036854775808.0;

}  // namespace

JsonObjectReader::JsonObjectReader(const QJsonObject& object, QString path)
    : m_object(object), m_path(std::move(path)) {
    m_keyForField.reserve(object.size());
    for (auto it = object.constBegin(); it != object.constEnd(); ++it) {
        m_keyForField.append({JsonCoding::convertFromSnakeCase(it.key()), it.key()});
    }
}

QJsonValue JsonObjectReader::lookup(const QString& field) const {
    // Keys arrive sorted. When two spellings name the same field, the field's own wire key wins;
    // otherwise the first in that order, so the choice never depends on chance.
    const QString* chosen = nullptr;
    for (const auto& [candidate, key] : m_keyForField) {
        if (candidate != field) {
            continue;
        }
        if (!chosen) {
            chosen = &key;
        } else if (key == JsonCoding::convertToSnakeCase(field)) {
            chosen = &key;
            break;
        }
    }
    return chosen ? m_object.value(*chosen) : QJsonValue(QJsonValue::Undefined);
}

QJsonValue JsonObjectReader::requiredValue(const QString& field) const {
    const QJsonValue value = lookup(field);
    if (value.isUndefined()) {
        throw JsonDecodingError(QStringLiteral("Key not found: \"%1\"").arg(fieldPath(field)));
    }
    if (value.isNull()) {
        throw JsonDecodingError(QStringLiteral("Null value for required key \"%1\"").arg(fieldPath(field)));
    }
    return value;
}

template <typename Where>
QString JsonObjectReader::stringOrThrow(const QJsonValue& value, Where where) {
    if (!value.isString()) {
        throwTypeMismatch(where(), QStringLiteral("a string"), value);
    }
    QString text = value.toString();
    // JSON escapes can spell a lone surrogate, which is no text at all.
    if (!QStringView(text).isValidUtf16()) {
        throw JsonDecodingError(QStringLiteral("Invalid text at \"%1\": unpaired surrogate escape").arg(where()));
    }
    return text;
}

QString JsonObjectReader::requiredString(const QString& field) const {
    return stringOrThrow(requiredValue(field), [&] { return fieldPath(field); });
}

std::optional<QString> JsonObjectReader::optionalString(const QString& field) const {
    const QJsonValue value = lookup(field);
    if (value.isUndefined() || value.isNull()) {
        return std::nullopt;
    }
    return stringOrThrow(value, [&] { return fieldPath(field); });
}

qint64 JsonObjectReader::requiredInteger(const QString& field) const {
    const QJsonValue value = requiredValue(field);
    if (!value.isDouble()) {
        throwTypeMismatch(fieldPath(field), QStringLiteral("an integer"), value);
    }
    // Qt stores integer literals (and integral reals that fit) exactly as qint64.
    const QVariant stored = value.toVariant();
    if (stored.typeId() == QMetaType::LongLong) {
        return stored.toLongLong();
    }
    const double number = value.toDouble();
    if (!std::isfinite(number) || std::trunc(number) != number) {
        throw JsonDecodingError(
            QStringLiteral("Type mismatch at \"%1\": expected an integer, found the non-integral number %2")
                .arg(fieldPath(field))
                .arg(number));
    }
    if (number < -kTwoToThe63 || number >= kTwoToThe63) {
        throw JsonDecodingError(QStringLiteral("Number at \"%1\" does not fit a 64-bit integer").arg(fieldPath(field)));
    }
    return static_cast<qint64>(number);
}

bool JsonObjectReader::requiredBool(const QString& field) const {
    const QJsonValue value = requiredValue(field);
    if (!value.isBool()) {
        throwTypeMismatch(fieldPath(field), QStringLiteral("a Boolean"), value);
    }
    return value.toBool();
}

QJsonArray JsonObjectReader::requiredArray(const QString& field) const {
    const QJsonValue value = requiredValue(field);
    if (!value.isArray()) {
        throwTypeMismatch(fieldPath(field), QStringLiteral("an array"), value);
    }
    return value.toArray();
}

QStringList JsonObjectReader::requiredStringArray(const QString& field) const {
    const QJsonArray array = requiredArray(field);
    QStringList out;
    out.reserve(array.size());
    for (qsizetype i = 0; i < array.size(); ++i) {
        out.append(stringOrThrow(array.at(i), [&] { return elementPath(field, i); }));
    }
    return out;
}

QString JsonObjectReader::fieldPath(const QString& field) const {
    const QString key = JsonCoding::convertToSnakeCase(field);
    return m_path.isEmpty() ? key : m_path + QLatin1Char('.') + key;
}

QString JsonObjectReader::elementPath(const QString& field, qsizetype index) const {
    return fieldPath(field) + QStringLiteral("[%1]").arg(index);
}

void JsonObjectReader::throwTypeMismatch(const QString& path, const QString& expected, const QJsonValue& found) {
    throw JsonDecodingError(
        QStringLiteral("Type mismatch at \"%1\": expected %2, found %3").arg(path, expected, describe(found)));
}
