#include "models/SequenceRecord.h"

#include <QJsonValue>

QJsonObject SequenceRecord::toJson() const {
    return QJsonObject{{QStringLiteral("name"), name}, {QStringLiteral("count"), count}};
}

std::optional<SequenceRecord> SequenceRecord::fromJson(const QJsonValue& value) {
    if (!value.isObject()) {
        return std::nullopt;
    }
    const QJsonObject object = value.toObject();
    const QJsonValue name = object.value(QStringLiteral("name"));
    const QJsonValue count = object.value(QStringLiteral("count"));
    if (!name.isString() || !count.isDouble()) {
        return std::nullopt;
    }
    // toInteger() answers its default for fractions and out-of-range numbers; two different
    // defaults tell such a number apart from a genuine value.
    const qint64 a = count.toInteger(0);
    const qint64 b = count.toInteger(1);
    if (a != b) {
        return std::nullopt;
    }
    return SequenceRecord{name.toString(), a};
}
