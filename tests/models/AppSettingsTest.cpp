#include <gtest/gtest.h>

#include <QSignalSpy>
#include <QUuid>

#include "models/AppSettings.h"
#include "platform/UserDefaults.h"

namespace {

const QStringList kKeys{"launchAtLogin", "showInDock",  "isPaused",     "hasCompletedOnboarding",
                        "installRegistered", "themeRaw", "profileName", "profileEmail"};

}  // namespace

TEST(AppSettings, FreshStoreReadsDefaultsWithoutWriting) {
    UserDefaults defaults;
    QSignalSpy changes(&defaults, &UserDefaults::didChange);
    AppSettings settings(defaults);

    EXPECT_FALSE(settings.launchAtLogin());
    EXPECT_TRUE(settings.showInDock());
    EXPECT_FALSE(settings.isPaused());
    EXPECT_FALSE(settings.hasCompletedOnboarding());
    EXPECT_FALSE(settings.installRegistered());
    EXPECT_EQ(settings.profileName(), QString());
    EXPECT_EQ(settings.profileEmail(), QString());
    for (const QString& key : kKeys) {
        EXPECT_FALSE(defaults.contains(key)) << key.toStdString();
    }
    EXPECT_EQ(changes.count(), 0);
}

TEST(AppSettings, EveryAssignmentAnnouncesThenStoresEvenWhenUnchanged) {
    UserDefaults defaults;
    AppSettings settings(defaults);
    QStringList order;
    QObject::connect(&settings, &AppSettings::objectWillChange, [&] {
        order << QStringLiteral("will:%1").arg(defaults.contains("isPaused") ? defaults.boolForKey("isPaused") : -1);
    });
    QObject::connect(&defaults, &UserDefaults::didChange, [&] { order << QStringLiteral("stored"); });

    settings.setIsPaused(false);
    settings.setIsPaused(false);
    settings.setIsPaused(true);

    EXPECT_EQ(order, (QStringList{"will:-1", "stored", "will:0", "stored", "will:0", "stored"}));
    EXPECT_TRUE(settings.isPaused());
    EXPECT_EQ(defaults.objectForKey("isPaused").typeId(), QMetaType::Bool);
}

TEST(AppSettings, ReadsSeeWritesMadeByOthers) {
    UserDefaults defaults;
    AppSettings settings(defaults);
    defaults.setBool(false, "showInDock");
    defaults.setString("Ada", "profileName");
    EXPECT_FALSE(settings.showInDock());
    EXPECT_EQ(settings.profileName(), QStringLiteral("Ada"));
}

// A value of another kind than the property's reads as the property's default, as an absent one does.
TEST(AppSettings, ValuesOfAnotherKindReadAsTheDefault) {
    UserDefaults defaults;
    AppSettings settings(defaults);
    defaults.setString(QString::fromUtf8(QByteArray("gar") + "bage"), "showInDock");
    defaults.setString(QString::fromUtf8(QByteArray("YES")), "isPaused");
    defaults.setInteger(1, "launchAtLogin");
    defaults.setObject(1.0, "installRegistered");
    defaults.setInteger(42, "profileName");
    defaults.setBool(true, "profileEmail");

    EXPECT_TRUE(settings.showInDock());
    EXPECT_FALSE(settings.isPaused());
    EXPECT_FALSE(settings.launchAtLogin());
    EXPECT_FALSE(settings.installRegistered());
    EXPECT_EQ(settings.profileName(), QString());
    EXPECT_EQ(settings.profileEmail(), QString());
}

TEST(AppSettings, DeviceIdIsCreatedOnceAsUpperCaseUuid) {
    UserDefaults defaults;
    AppSettings settings(defaults);
    ASSERT_FALSE(defaults.contains("deviceId"));

    const QString id = settings.deviceId();
    EXPECT_EQ(id.size(), 36);
    EXPECT_EQ(id, id.toUpper());
    EXPECT_FALSE(QUuid::fromString(id).isNull());
    EXPECT_EQ(defaults.stringForKey("deviceId"), id);
    EXPECT_EQ(settings.deviceId(), id);

    AppSettings another(defaults);
    EXPECT_EQ(another.deviceId(), id);
}

TEST(AppSettings, StoredDeviceIdIsReturnedUnchangedEvenWhenEmpty) {
    UserDefaults defaults;
    defaults.setString("", "deviceId");
    AppSettings settings(defaults);
    EXPECT_EQ(settings.deviceId(), QString(""));
    EXPECT_EQ(defaults.stringForKey("deviceId"), QString(""));

    defaults.setString("not-a-uuid", "deviceId");
    EXPECT_EQ(settings.deviceId(), QStringLiteral("not-a-uuid"));
}
