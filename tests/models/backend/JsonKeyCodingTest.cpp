#include <gtest/gtest.h>

#include "models/JsonCoding.h"

using JsonCoding::convertFromSnakeCase;
using JsonCoding::convertToSnakeCase;

TEST(JsonKeyCoding, ReplyKeysBecomeFieldNames) {
    const std::pair<const char*, const char*> table[] = {
        {"version", "version"},
        {"installId", "installId"},  // already camel case: untouched
        {"install_id", "installId"},
        {"excel_upload_url", "excelUploadUrl"},
        {"EXCEL_UPLOAD_URL", "excelUploadUrl"},  // capitals fold like their lower-case form
        {"Install_ID", "installId"},
        {"install__id", "installId"},  // empty pieces dropped
        {"a_b_c", "aBC"},
        {"_install_id", "_installId"},  // leading underscores kept
        {"install_id_", "installId_"},  // trailing underscores kept
        {"__is__new__", "__isNew__"},
        {"_version", "_version"},  // one word between the underscores: unchanged
        {"VERSION", "VERSION"},
        {"excelUploadURL", "excelUploadURL"},
        {"_", "_"},
        {"___", "___"},
        {"", ""},
    };
    for (const auto& [key, field] : table) {
        EXPECT_EQ(convertFromSnakeCase(QString::fromUtf8(key)), QString::fromUtf8(field)) << key;
    }
}

TEST(JsonKeyCoding, ReplyKeyConversionHandlesNonAsciiText) {
    EXPECT_EQ(convertFromSnakeCase(QString::fromUtf8("ÜBER_ärger")), QString::fromUtf8("überÄrger"));
    // A piece starting outside the basic plane keeps its surrogate pair whole.
    EXPECT_EQ(convertFromSnakeCase(QString::fromUtf8("x_😀AB")), QString::fromUtf8("x😀ab"));
}

TEST(JsonKeyCoding, FieldNamesBecomeWireKeysAndBack) {
    const std::pair<const char*, const char*> table[] = {
        {"installId", "install_id"},
        {"appVersion", "app_version"},
        {"macosVersion", "macos_version"},
        {"architecture", "architecture"},
        {"installSecret", "install_secret"},
        {"isNew", "is_new"},
        {"windowsKeys", "windows_keys"},
        {"macKeys", "mac_keys"},
        {"issueId", "issue_id"},
        {"excelFile", "excel_file"},
        {"logFile", "log_file"},
        {"excelUploadUrl", "excel_upload_url"},
        {"logUploadUrl", "log_upload_url"},
        {"expiresInMinutes", "expires_in_minutes"},
        {"v2Name", "v2_name"},
    };
    for (const auto& [field, key] : table) {
        EXPECT_EQ(convertToSnakeCase(QString::fromUtf8(field)), QString::fromUtf8(key)) << field;
        EXPECT_EQ(convertFromSnakeCase(QString::fromUtf8(key)), QString::fromUtf8(field)) << key;
    }
}
