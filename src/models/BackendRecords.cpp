#include "models/BackendRecords.h"

#include "models/JsonObjectWriter.h"

QByteArray InstallRegisterRequest::toJson() const {
    JsonObjectWriter writer;
    writer.add(QStringLiteral("installId"), installId);
    writer.add(QStringLiteral("appVersion"), appVersion);
    writer.add(QStringLiteral("macosVersion"), macosVersion);
    writer.add(QStringLiteral("architecture"), architecture);
    return writer.toJson();
}

InstallRegisterResponse InstallRegisterResponse::decode(const JsonObjectReader& reader) {
    InstallRegisterResponse out;
    out.installId = reader.requiredString(QStringLiteral("installId"));
    out.installSecret = reader.requiredString(QStringLiteral("installSecret"));
    out.isNew = reader.requiredBool(QStringLiteral("isNew"));
    return out;
}

APIShortcut APIShortcut::decode(const JsonObjectReader& reader) {
    APIShortcut out;
    out.id = reader.requiredString(QStringLiteral("id"));
    out.category = reader.requiredString(QStringLiteral("category"));
    out.name = reader.requiredString(QStringLiteral("name"));
    out.description = reader.requiredString(QStringLiteral("description"));
    out.windowsKeys = reader.requiredStringArray(QStringLiteral("windowsKeys"));
    out.macKeys = reader.requiredStringArray(QStringLiteral("macKeys"));
    return out;
}

std::optional<Shortcut> APIShortcut::toShortcut(bool isEnabled) const {
    const auto parsed = ShortcutCategories::fromApiValue(category);
    if (!parsed) {
        return std::nullopt;
    }
    return Shortcut{id, *parsed, name, description, windowsKeys, macKeys, isEnabled};
}

ShortcutsResponse ShortcutsResponse::decode(const JsonObjectReader& reader) {
    ShortcutsResponse out;
    out.version = reader.requiredInteger(QStringLiteral("version"));
    out.shortcuts = reader.requiredObjectArray<APIShortcut>(QStringLiteral("shortcuts"), &APIShortcut::decode);
    return out;
}

APIFeatureFlag APIFeatureFlag::decode(const JsonObjectReader& reader) {
    APIFeatureFlag out;
    out.key = reader.requiredString(QStringLiteral("key"));
    out.value = reader.requiredString(QStringLiteral("value"));
    return out;
}

FeaturesResponse FeaturesResponse::decode(const JsonObjectReader& reader) {
    FeaturesResponse out;
    out.features = reader.requiredObjectArray<APIFeatureFlag>(QStringLiteral("features"), &APIFeatureFlag::decode);
    return out;
}

IssueCreateResponse IssueCreateResponse::decode(const JsonObjectReader& reader) {
    IssueCreateResponse out;
    out.issueId = reader.requiredString(QStringLiteral("issueId"));
    out.status = reader.requiredString(QStringLiteral("status"));
    out.excelFile = reader.requiredString(QStringLiteral("excelFile"));
    out.logFile = reader.requiredString(QStringLiteral("logFile"));
    out.excelUploadUrl = reader.requiredString(QStringLiteral("excelUploadUrl"));
    out.logUploadUrl = reader.requiredString(QStringLiteral("logUploadUrl"));
    out.expiresInMinutes = reader.requiredInteger(QStringLiteral("expiresInMinutes"));
    return out;
}

IssuePatchResponse IssuePatchResponse::decode(const JsonObjectReader& reader) {
    IssuePatchResponse out;
    out.issueId = reader.requiredString(QStringLiteral("issueId"));
    out.status = reader.requiredString(QStringLiteral("status"));
    return out;
}

QByteArray ProfileUpdateRequest::toJson() const {
    JsonObjectWriter writer;
    writer.addIfPresent(QStringLiteral("name"), name);
    writer.addIfPresent(QStringLiteral("email"), email);
    return writer.toJson();
}

ProfileResponse ProfileResponse::decode(const JsonObjectReader& reader) {
    ProfileResponse out;
    out.installId = reader.requiredString(QStringLiteral("installId"));
    out.name = reader.optionalString(QStringLiteral("name"));
    out.email = reader.optionalString(QStringLiteral("email"));
    return out;
}
