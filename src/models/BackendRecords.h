#pragma once

#include <QByteArray>
#include <QList>
#include <QString>
#include <QStringList>
#include <optional>

#include "models/JsonCoding.h"
#include "models/JsonObjectReader.h"
#include "models/Shortcut.h"

// The JSON bodies of the backend protocol. Request records are only encoded (keys in declaration
// order, snake_case); reply records are only decoded with the strict rules of JsonObjectReader,
// and every decoder throws JsonDecodingError.

// Body of POST "api/v1/install/register"; every key always present.
struct InstallRegisterRequest {
    QString installId;
    QString appVersion;
    QString macosVersion;
    QString architecture;

    QByteArray toJson() const;
};

struct InstallRegisterResponse {
    QString installId;
    QString installSecret;
    bool isNew = false;

    bool operator==(const InstallRegisterResponse&) const = default;
    static InstallRegisterResponse decode(const JsonObjectReader& reader);
};

// One catalogue entry as the backend serves it; `category` is still the backend's string.
struct APIShortcut {
    QString id;
    QString category;
    QString name;
    QString description;
    QStringList windowsKeys;
    QStringList macKeys;

    bool operator==(const APIShortcut&) const = default;
    static APIShortcut decode(const JsonObjectReader& reader);

    // The catalogue entry, or nothing when the category string is not one the app knows.
    std::optional<Shortcut> toShortcut(bool isEnabled) const;
};

struct ShortcutsResponse {
    qint64 version = 0;
    QList<APIShortcut> shortcuts;

    bool operator==(const ShortcutsResponse&) const = default;
    static ShortcutsResponse decode(const JsonObjectReader& reader);
};

struct APIFeatureFlag {
    QString key;
    QString value;

    bool operator==(const APIFeatureFlag&) const = default;
    static APIFeatureFlag decode(const JsonObjectReader& reader);
};

struct FeaturesResponse {
    QList<APIFeatureFlag> features;

    bool operator==(const FeaturesResponse&) const = default;
    static FeaturesResponse decode(const JsonObjectReader& reader);
};

struct IssueCreateResponse {
    QString issueId;
    QString status;
    QString excelFile;
    QString logFile;
    QString excelUploadUrl;  // absolute pre-signed URL, as sent
    QString logUploadUrl;    // absolute pre-signed URL, as sent
    qint64 expiresInMinutes = 0;

    bool operator==(const IssueCreateResponse&) const = default;
    static IssueCreateResponse decode(const JsonObjectReader& reader);
};

struct IssuePatchResponse {
    QString issueId;
    QString status;

    bool operator==(const IssuePatchResponse&) const = default;
    static IssuePatchResponse decode(const JsonObjectReader& reader);
};

// Body of PUT "api/v1/profile"; a field without a value is not written. "" is a value.
struct ProfileUpdateRequest {
    std::optional<QString> name;
    std::optional<QString> email;

    QByteArray toJson() const;
};

struct ProfileResponse {
    QString installId;
    std::optional<QString> name;
    std::optional<QString> email;

    bool operator==(const ProfileResponse&) const = default;
    static ProfileResponse decode(const JsonObjectReader& reader);
};

// Decodes a whole reply body into `Reply`; throws JsonDecodingError.
template <typename Reply>
Reply decodeReply(const QByteArray& body) {
    return Reply::decode(JsonObjectReader(JsonCoding::parseObject(body)));
}
