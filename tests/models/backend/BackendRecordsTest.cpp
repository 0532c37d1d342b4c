#include <gtest/gtest.h>

#include <limits>
#include <optional>

#include "models/BackendRecords.h"
#include "models/JsonDecodingError.h"

namespace {

template <typename Reply>
Reply decode(const char* json) {
    return decodeReply<Reply>(QByteArray(json));
}

// The decoder's message for a reply that must fail; empty (and a test failure) when it decodes.
template <typename Reply>
QString failure(const QByteArray& json) {
    try {
        decodeReply<Reply>(json);
    } catch (const JsonDecodingError& error) {
        return error.message();
    }
    ADD_FAILURE() << "decoded unexpectedly: " << json.toStdString();
    return QString();
}

const char* kIssueReply =
    R"({"issue_id":"ISS-1","status":"pending","excel_file":"ax.txt","log_file":"log.txt",)"
    R"("excel_upload_url":"https://up.example/ax?sig=1","log_upload_url":"https://up.example/log?sig=2",)"
    R"("expires_in_minutes":15})";

}  // namespace

TEST(BackendRequests, RegistrationBodyHasEveryKeyInOrder) {
    const InstallRegisterRequest request{"ID-1", "1.2.3", "Version 14.1 (Build 23B74)", "x86_64"};
    EXPECT_EQ(request.toJson(),
              QByteArray(R"x({"install_id":"ID-1","app_version":"1.2.3","macos_version":"Version 14.1 (Build 23B74)",)x"
                         R"x("architecture":"x86_64"})x"));
}

TEST(BackendRequests, ProfileBodyLeavesOutFieldsWithoutValue) {
    EXPECT_EQ((ProfileUpdateRequest{QStringLiteral("Ann"), std::nullopt}.toJson()), QByteArray(R"({"name":"Ann"})"));
    EXPECT_EQ((ProfileUpdateRequest{std::nullopt, QStringLiteral("a@b.example")}.toJson()),
              QByteArray(R"({"email":"a@b.example"})"));
    EXPECT_EQ((ProfileUpdateRequest{std::nullopt, std::nullopt}.toJson()), QByteArray("{}"));
    EXPECT_EQ((ProfileUpdateRequest{QString(), QString()}.toJson()), QByteArray(R"({"name":"","email":""})"));
}

TEST(BackendRequests, StringsAreEscapedLikeThePlatformEncoder) {
    const ProfileUpdateRequest request{QString::fromUtf8("A/B \"q\"\\\n\t\x01 ä€😀"), std::nullopt};
    EXPECT_EQ(request.toJson(), QByteArray("{\"name\":\"A\\/B \\\"q\\\"\\\\\\n\\t\\u0001 ") +
                                    QByteArray("\xc3\xa4\xe2\x82\xac\xf0\x9f\x98\x80\"}"));
}

TEST(BackendReplies, RegistrationNeedsAStrictBoolean) {
    EXPECT_EQ(decode<InstallRegisterResponse>(R"({"install_id":"I","install_secret":"S","is_new":true})"),
              (InstallRegisterResponse{"I", "S", true}));
    EXPECT_EQ(failure<InstallRegisterResponse>(R"({"install_id":"I","install_secret":"S"})"),
              QStringLiteral("Key not found: \"is_new\""));
    EXPECT_EQ(failure<InstallRegisterResponse>(R"({"install_id":"I","install_secret":"S","is_new":1})"),
              QStringLiteral("Type mismatch at \"is_new\": expected a Boolean, found a number"));
    failure<InstallRegisterResponse>(R"({"install_id":"I","install_secret":"S","is_new":"true"})");
    failure<InstallRegisterResponse>(R"({"install_id":"I","install_secret":"S","is_new":null})");
}

TEST(BackendReplies, KeysMayComeInAnySpellingThatConvertsToTheField) {
    // Camel case must match the field exactly; capitals fold; a leading underscore matches nothing.
    EXPECT_EQ(decode<InstallRegisterResponse>(R"({"isNew":false,"installSecret":"S","INSTALL_ID":"I"})"),
              (InstallRegisterResponse{"I", "S", false}));
    failure<InstallRegisterResponse>(R"({"_install_id":"I","install_secret":"S","is_new":true})");
    failure<InstallRegisterResponse>(R"({"installID":"I","install_secret":"S","is_new":true})");

    QByteArray upperUrl(kIssueReply);
    upperUrl.replace("excel_upload_url", "excelUploadURL");
    EXPECT_EQ(failure<IssueCreateResponse>(upperUrl), QStringLiteral("Key not found: \"excel_upload_url\""));
}

TEST(BackendReplies, RepeatedKeysResolveTheSameWayEveryTime) {
    // The same key twice: the later value. Two spellings of one field: the wire key wins.
    EXPECT_FALSE(
        decode<InstallRegisterResponse>(R"({"install_id":"I","install_secret":"S","is_new":true,"is_new":false})")
            .isNew);
    EXPECT_EQ(decode<InstallRegisterResponse>(R"({"installId":"camel","install_id":"wire","install_secret":"S",)"
                                              R"("is_new":true})")
                  .installId,
              QStringLiteral("wire"));
}

TEST(BackendReplies, OptionalFieldsTreatNullAndAbsenceAlike) {
    EXPECT_EQ(decode<ProfileResponse>(R"({"install_id":"I","name":null})"),
              (ProfileResponse{"I", std::nullopt, std::nullopt}));
    EXPECT_EQ(decode<ProfileResponse>(R"({"install_id":"I","name":"","email":"e@x.example"})"),
              (ProfileResponse{"I", QString(""), QStringLiteral("e@x.example")}));
    // Optional is not lenient: a present value must still be a string.
    failure<ProfileResponse>(R"({"install_id":"I","name":5})");
    EXPECT_EQ(failure<ProfileResponse>(R"({"install_id":null,"name":"N"})"),
              QStringLiteral("Null value for required key \"install_id\""));
    failure<ProfileResponse>(R"({"name":"N"})");
}

TEST(BackendReplies, IntegersMustBeIntegralAndInRange) {
    const auto withExpiry = [](const char* value) {
        QByteArray json(kIssueReply);
        json.replace("\"expires_in_minutes\":15", QByteArray("\"expires_in_minutes\":") + value);
        return json;
    };
    constexpr qint64 kMin = std::numeric_limits<qint64>::min();
    constexpr qint64 kMax = std::numeric_limits<qint64>::max();
    struct Row {
        const char* literal;
        std::optional<qint64> value;  // nothing: the reply fails
        const char* message = "";     // part of the failure's message
    };
    const Row rows[] = {
        {"15", 15},
        {"2.0", 2},
        {"1e2", 100},
        {"-0", 0},
        // Beyond 2^53 integer literals stay exact.
        {"9007199254740993", Q_INT64_C(9007199254740993)},
        // The band edges: in range up to the last value, out of range just past it, on both ends,
        // however the literal is written.
        {"9223372036854775807", kMax},
        {"9223372036854775808", std::nullopt, "64-bit"},
        {"9223372036854775809", std::nullopt, "64-bit"},
        {"1e19", std::nullopt, "64-bit"},
        {"-9223372036854775808", kMin},
        {"-9.223372036854775808e18", kMin},
        {"-9223372036854775808.000", kMin},
        {"-9223372036854775809", std::nullopt, "64-bit"},
        {"-9223372036854775808.5", std::nullopt, "64-bit"},
        {"-9223372036854775900", std::nullopt, "64-bit"},
        {"-9223372036854776832", std::nullopt, "64-bit"},
        {"-92233720368547758090e-1", std::nullopt, "64-bit"},
        {"-9.2233720368547758081E+18", std::nullopt, "64-bit"},
        {"-9223372036854777856", std::nullopt, "64-bit"},
        {"-1e400", std::nullopt},
        {"1e400", std::nullopt},
        {"1.5", std::nullopt, "non-integral"},
        {"\"15\"", std::nullopt, "expected an integer, found a string"},
        {"true", std::nullopt},
    };
    for (const Row& row : rows) {
        const QByteArray json = withExpiry(row.literal);
        if (row.value) {
            try {
                EXPECT_EQ(decodeReply<IssueCreateResponse>(json).expiresInMinutes, *row.value) << row.literal;
            } catch (const JsonDecodingError& error) {
                ADD_FAILURE() << row.literal << ": " << error.message().toStdString();
            }
        } else {
            EXPECT_TRUE(failure<IssueCreateResponse>(json).contains(QString::fromUtf8(row.message))) << row.literal;
        }
    }
    // The same literal inside a string or in a key that no field names changes nothing.
    QByteArray elsewhere(kIssueReply);
    elsewhere.replace("\"status\":\"pending\"", R"("status":"-9223372036854775809","unused":-9223372036854775809)");
    EXPECT_EQ(decodeReply<IssueCreateResponse>(elsewhere).status, QStringLiteral("-9223372036854775809"));
}

TEST(BackendReplies, ExtraKeysAndOrderDoNotMatter) {
    const auto issue = decode<IssueCreateResponse>(
        R"({"expires_in_minutes":30,"extra":{"deep":[1,{"x":null}]},"log_upload_url":"https://l.example/",)"
        R"("excel_upload_url":"https://e.example/","log_file":"l","excel_file":"e","status":"s","issue_id":"i",)"
        R"("unused_number":1.5})");
    EXPECT_EQ(issue, (IssueCreateResponse{"i", "s", "e", "l", "https://e.example/", "https://l.example/", 30}));
    EXPECT_EQ(decode<IssuePatchResponse>(R"({"status":"uploaded","issue_id":"i","updated_at":"now"})"),
              (IssuePatchResponse{"i", "uploaded"}));
}

TEST(BackendReplies, OneBadCatalogueEntryFailsTheWholeReply) {
    const auto empty = decode<ShortcutsResponse>(R"({"version":3,"shortcuts":[]})");
    EXPECT_EQ(empty.version, 3);
    EXPECT_TRUE(empty.shortcuts.isEmpty());

    const QByteArray good =
        R"({"id":"a","category":"Data","name":"A","description":"d","windows_keys":["Alt","A"],"mac_keys":["⌘A"]})";
    const auto two = decodeReply<ShortcutsResponse>(R"({"version":1,"shortcuts":[)" + good + "," + good + "]}");
    ASSERT_EQ(two.shortcuts.size(), 2);
    EXPECT_EQ(two.shortcuts[0].macKeys, QStringList{QString::fromUtf8("⌘A")});

    QByteArray noMacKeys = good;
    noMacKeys.replace(R"(,"mac_keys":["⌘A"])", "");
    EXPECT_EQ(failure<ShortcutsResponse>(R"({"version":1,"shortcuts":[)" + good + "," + noMacKeys + "]}"),
              QStringLiteral("Key not found: \"shortcuts[1].mac_keys\""));
    QByteArray numberKey = good;
    numberKey.replace(R"(["Alt","A"])", R"(["Alt",1])");
    EXPECT_EQ(failure<ShortcutsResponse>(R"({"version":1,"shortcuts":[)" + numberKey + "]}"),
              QStringLiteral("Type mismatch at \"shortcuts[0].windows_keys[1]\": expected a string, found a number"));
    failure<ShortcutsResponse>(R"({"version":1,"shortcuts":[)" + good + ",null]}");
    failure<ShortcutsResponse>(R"({"version":1,"shortcuts":{}})");
    failure<ShortcutsResponse>(R"({"version":"1","shortcuts":[]})");
}

TEST(BackendReplies, FeatureValuesStayStringsAndEveryFlagMustDecode) {
    EXPECT_TRUE(decode<FeaturesResponse>(R"({"features":[]})").features.isEmpty());
    EXPECT_EQ(decode<FeaturesResponse>(R"({"features":[{"key":"limit","value":"3"},{"key":" K ","value":" V "}]})"),
              (FeaturesResponse{{{"limit", "3"}, {" K ", " V "}}}));
    failure<FeaturesResponse>(R"({"features":[{"key":"a","value":"1"},{"key":"b","value":3}]})");
    failure<FeaturesResponse>(R"({"features":[{"key":"a"}]})");
    failure<FeaturesResponse>(R"({})");
}

TEST(BackendReplies, BodyMustBeOneJsonObjectOfText) {
    for (const QByteArray& body :
         {QByteArray(), QByteArray("[]"), QByteArray("null"), QByteArray("5"), QByteArray(R"("s")"), QByteArray("{} x"),
          QByteArray("{\"features\":[],}"), QByteArray("{\"features\":[{\"key\":\"\xff\",\"value\":\"v\"}]}")}) {
        try {
            decodeReply<FeaturesResponse>(body);
            ADD_FAILURE() << "decoded: " << body.toStdString();
        } catch (const JsonDecodingError& error) {
            EXPECT_FALSE(error.message().isEmpty());
        }
    }
    // An escaped lone surrogate is no text.
    failure<FeaturesResponse>(R"({"features":[{"key":"\ud800","value":"v"}]})");
    EXPECT_EQ(decode<FeaturesResponse>(R"({"features":[{"key":"\ud83d\ude00","value":"v"}]})").features[0].key,
              QString::fromUtf8("😀"));
}

TEST(CatalogueRecords, CategoryStringsAreLenientOnlyInLetterCase) {
    const auto category = [](const char* value) {
        return APIShortcut{"id", QString::fromUtf8(value), "n", "d", {}, {}}.toShortcut(true);
    };
    const std::pair<const char*, ShortcutCategory> accepted[] = {
        {"FORMATTING", ShortcutCategory::format},
        {"pivot", ShortcutCategory::pivot},
        {"Insert & Delete", ShortcutCategory::insertDelete},
        {"PASTESPECIAL", ShortcutCategory::pasteSpecial},
        {"paste special", ShortcutCategory::pasteSpecial},
        {"Format", ShortcutCategory::format},
        {"InsertDelete", ShortcutCategory::insertDelete},
        {"dAtA", ShortcutCategory::data},
        {"Formulas", ShortcutCategory::formulas},
        {"Data Tools", ShortcutCategory::dataTools},
        {"datatools", ShortcutCategory::dataTools},
        {"Pivot Table", ShortcutCategory::pivot},
        {"REVIEW", ShortcutCategory::review},
        {"View", ShortcutCategory::view},
        {"Essential", ShortcutCategory::essential},
    };
    for (const auto& [value, expected] : accepted) {
        const auto shortcut = category(value);
        ASSERT_TRUE(shortcut.has_value()) << value;
        EXPECT_EQ(shortcut->category, expected) << value;
    }
    for (const char* refused :
         {"Charts", "Insert and Delete", "data-tools", " Data", "Data ", "", "pivottable", "P\xc4\xb0VOT"}) {
        EXPECT_FALSE(category(refused).has_value()) << refused;
    }
}

TEST(CatalogueRecords, ConversionKeepsEveryFieldAndTheGivenState) {
    const APIShortcut record{"ps-v", "Paste Special", "Values", "Paste values", {"Alt", "E", "S", "V"}, {"⌃⌘V"}};
    const auto shortcut = record.toShortcut(false);
    ASSERT_TRUE(shortcut.has_value());
    EXPECT_EQ(*shortcut, (Shortcut{"ps-v",
                                   ShortcutCategory::pasteSpecial,
                                   "Values",
                                   "Paste values",
                                   {"Alt", "E", "S", "V"},
                                   {QString::fromUtf8("⌃⌘V")},
                                   false}));
}
