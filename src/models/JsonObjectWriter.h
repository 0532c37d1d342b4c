#pragma once

#include <QByteArray>
#include <QList>
#include <QString>
#include <optional>
#include <utility>

// Builds the compact JSON object of a request record, keys in the order they are added and
// written in their snake_case form. Strings are escaped the way the backend has always received
// them ("/" as "\/", control characters escaped, everything else as raw UTF-8). QJsonObject is
// not used: it sorts its keys.
class JsonObjectWriter {
public:
    void add(const QString& field, const QString& value);
    // A field without a value is left out entirely: no key, no null.
    void addIfPresent(const QString& field, const std::optional<QString>& value);

    QByteArray toJson() const;

private:
    QList<std::pair<QString, QString>> m_members;  // wire key, value
};
