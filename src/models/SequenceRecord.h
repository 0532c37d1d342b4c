#pragma once

#include <QJsonObject>
#include <QString>
#include <optional>

// The usage of one key sequence: its display name (from its first recorded use) and how often
// it was used.
struct SequenceRecord {
    QString name;
    qint64 count = 0;

    // {"name": ..., "count": ...}
    QJsonObject toJson() const;
    // Both members are required: "name" a string, "count" a whole number within 64 bits.
    // Other members are ignored.
    static std::optional<SequenceRecord> fromJson(const QJsonValue& value);

    bool operator==(const SequenceRecord&) const = default;
};
