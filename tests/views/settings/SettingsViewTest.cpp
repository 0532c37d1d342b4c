#include <QCheckBox>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#include <sys/fsuid.h>
#include <sys/stat.h>

#include "BuildConfig.h"
#include "SettingsFixture.h"
#include "models/ShortcutData.h"
#include "platform/LockHolder.h"
#include "platform/qt/PlistUserDefaults.h"
#include "support/Screenshot.h"
#include "views/settings/AboutView.h"
#include "views/settings/GeneralSettingsView.h"
#include "views/settings/ShortcutsSettingsView.h"
#include "views/shared/KeySequence.h"
#include "views/shared/Style.h"
#include "views/shared/SymbolView.h"

namespace {

const QString kProfilePath = QStringLiteral("/api/v1/profile");

bool waitForSave(const GeneralSettingsView& general) {
    return QTest::qWaitFor([&] { return !general.isSavingProfile(); }, 5000);
}

// Clicks the box itself (a check box takes clicks only on its indicator and text).
void toggle(QCheckBox* box) {
    QTest::mouseClick(box, Qt::LeftButton, {}, QPoint(8, box->height() / 2));
}

void fill(QLineEdit* field, const QString& text) {
    field->clear();
    QTest::keyClicks(field, text);
}

}  // namespace

using SettingsViewTest = SettingsFixture;

TEST_F(SettingsViewTest, ThreeTabsInOrder) {
    SettingsView& settingsView = makeView();
    ASSERT_EQ(settingsView.count(), 3);
    EXPECT_EQ(settingsView.tabText(0), QStringLiteral("General"));
    EXPECT_EQ(settingsView.tabText(1), QStringLiteral("Shortcuts"));
    EXPECT_EQ(settingsView.tabText(2), QStringLiteral("About"));
    EXPECT_EQ(SettingsView::tabSymbols(), QStringList({"gearshape", "command", "info.circle"}));
    for (int i = 0; i < 3; ++i) {
        EXPECT_FALSE(settingsView.tabIcon(i).isNull());
    }
    EXPECT_EQ(settingsView.widget(0), settingsView.general());
    EXPECT_EQ(settingsView.widget(1), settingsView.shortcuts());
    EXPECT_EQ(settingsView.widget(2), settingsView.about());
}

TEST_F(SettingsViewTest, LaunchAtLoginStoresAndRegistersEvenWhenRegistrationFails) {
    GeneralSettingsView& general = *makeView().general();
    QCheckBox* box = general.launchAtLoginToggle();
    EXPECT_EQ(box->text(), QStringLiteral("Launch at login"));
    EXPECT_FALSE(box->isChecked());

    int announcements = 0;
    QObject::connect(&settings, &AppSettings::objectWillChange, [&] { ++announcements; });
    toggle(box);
    EXPECT_TRUE(settings.launchAtLogin());
    EXPECT_EQ(announcements, 1);
    EXPECT_TRUE(loginItem.isRegistered());

    toggle(box);
    EXPECT_FALSE(settings.launchAtLogin());
    EXPECT_EQ(loginItem.unregisterCount(), 1);

    loginItem.setFailure(QStringLiteral("not allowed"));
    toggle(box);
    EXPECT_TRUE(settings.launchAtLogin());
    EXPECT_TRUE(box->isChecked());
    EXPECT_FALSE(loginItem.isRegistered());
    ASSERT_EQ(console.lines().size(), 1);
    EXPECT_TRUE(console.lines()[0].startsWith(QStringLiteral("[LaunchAtLogin] Error: ")));
}

TEST_F(SettingsViewTest, ShowInDockSetsTheActivationPolicyAtOnce) {
    GeneralSettingsView& general = *makeView().general();
    QCheckBox* box = general.showInDockToggle();
    EXPECT_EQ(box->text(), QStringLiteral("Show in Dock"));
    EXPECT_TRUE(box->isChecked());

    toggle(box);
    EXPECT_FALSE(settings.showInDock());
    EXPECT_EQ(session.workspace().activationPolicy(), ActivationPolicy::Accessory);

    toggle(box);
    EXPECT_TRUE(settings.showInDock());
    EXPECT_EQ(session.workspace().activationPolicy(), ActivationPolicy::Regular);

    // A write made elsewhere shows in the box; reloading it changes nothing else.
    settings.setShowInDock(false);
    EXPECT_FALSE(box->isChecked());
    EXPECT_EQ(session.workspace().activationPolicy(), ActivationPolicy::Regular);
    EXPECT_EQ(loginItem.registerCount() + loginItem.unregisterCount(), 0);
}

TEST_F(SettingsViewTest, CheckForUpdatesRunsTheInteractiveCheck) {
    GeneralSettingsView& general = *makeView().general();
    QTest::mouseClick(general.checkForUpdatesButton(), Qt::LeftButton);
    EXPECT_EQ(updater.interactiveCount(), 1);
}

TEST_F(SettingsViewTest, SaveProfileNeedsBothInputsAndReloadsThemOnEachAppearance) {
    settings.setProfileName(QStringLiteral("Ada"));
    GeneralSettingsView& general = *makeView().general();
    EXPECT_EQ(general.nameField()->text(), QStringLiteral("Ada"));
    EXPECT_EQ(general.emailField()->text(), QString());
    EXPECT_EQ(general.nameField()->placeholderText(), QStringLiteral("Your name"));
    EXPECT_EQ(general.emailField()->placeholderText(), QStringLiteral("Email address"));
    QPushButton* save = general.saveProfileButton();
    EXPECT_EQ(save->text(), QStringLiteral("Save Profile"));
    EXPECT_FALSE(save->isEnabled());

    fill(general.emailField(), QStringLiteral("ada@example.org"));
    EXPECT_TRUE(save->isEnabled());
    fill(general.nameField(), QString());
    EXPECT_FALSE(save->isEnabled());
    // Spaces are text.
    fill(general.nameField(), QStringLiteral("  "));
    EXPECT_TRUE(save->isEnabled());

    // Unsaved edits are lost when the form comes on screen again.
    view->setCurrentIndex(1);
    view->setCurrentIndex(0);
    EXPECT_EQ(general.nameField()->text(), QStringLiteral("Ada"));
    EXPECT_EQ(general.emailField()->text(), QString());
    EXPECT_FALSE(general.profileSaveMessage().has_value());
}

TEST_F(SettingsViewTest, SavedProfileStoresTheReplyValues) {
    CannedResponse reply;
    reply.body = R"({"install_id":"install-1","name":"Ada L.","email":"ada@lovelace.example"})";
    server.route(kProfilePath, reply);
    GeneralSettingsView& general = *makeView().general();
    fill(general.nameField(), QStringLiteral("Ada"));
    fill(general.emailField(), QStringLiteral("ada@example.org"));

    QTest::mouseClick(general.saveProfileButton(), Qt::LeftButton);
    EXPECT_TRUE(general.isSavingProfile());
    EXPECT_EQ(general.saveProfileButton()->text(), QStringLiteral("Saving…"));
    EXPECT_FALSE(general.saveProfileButton()->isEnabled());
    EXPECT_TRUE(general.profileSaveMessageLabel()->isHidden());

    ASSERT_TRUE(waitForSave(general));
    EXPECT_EQ(general.profileSaveMessage(), QStringLiteral("✓ Saved"));
    EXPECT_EQ(general.profileSaveMessageLabel()->text(), QStringLiteral("✓ Saved"));
    EXPECT_EQ(general.profileSaveMessageLabel()->palette().color(QPalette::WindowText), Style::green());
    EXPECT_EQ(general.saveProfileButton()->text(), QStringLiteral("Save Profile"));
    EXPECT_TRUE(general.saveProfileButton()->isEnabled());
    EXPECT_EQ(settings.profileName(), QStringLiteral("Ada L."));
    EXPECT_EQ(settings.profileEmail(), QStringLiteral("ada@lovelace.example"));

    ASSERT_EQ(server.requestCount(), 1);
    const RecordedRequest request = server.requests()[0];
    EXPECT_EQ(request.method, QStringLiteral("PUT"));
    EXPECT_EQ(request.path, kProfilePath);
    const QJsonObject body = QJsonDocument::fromJson(request.body).object();
    EXPECT_EQ(body.value("name").toString(), QStringLiteral("Ada"));
    EXPECT_EQ(body.value("email").toString(), QStringLiteral("ada@example.org"));
}

TEST_F(SettingsViewTest, ReplyWithoutNameAndEmailStoresTheTypedValues) {
    CannedResponse reply;
    reply.body = R"({"installId":"install-1","name":null})";
    server.route(kProfilePath, reply);
    GeneralSettingsView& general = *makeView().general();
    fill(general.nameField(), QStringLiteral(" Grace "));
    fill(general.emailField(), QStringLiteral("grace@example.org"));
    general.saveProfile();
    ASSERT_TRUE(waitForSave(general));
    EXPECT_EQ(general.profileSaveMessage(), QStringLiteral("✓ Saved"));
    EXPECT_EQ(settings.profileName(), QStringLiteral(" Grace "));
    EXPECT_EQ(settings.profileEmail(), QStringLiteral("grace@example.org"));
}

TEST_F(SettingsViewTest, FailedSaveKeepsTheSettingsAndSaysSoInRed) {
    settings.setProfileName(QStringLiteral("Old"));
    settings.setProfileEmail(QStringLiteral("old@example.org"));
    struct Case {
        int status;
        QByteArray body;
    };
    // A server error, a reply that is not a profile, one that is not JSON, and a profile the settings
    // cannot store (nothing of it is kept).
    for (const Case& c : {Case{500, R"({"name":"X"})"}, Case{200, R"({"name":"X"})"}, Case{200, "<html>"},
                          Case{200, R"({"installId":"install-1","name":"Ada\u0001","email":"ada@example.org"})"}}) {
        CannedResponse reply;
        reply.status = c.status;
        reply.body = c.body;
        server.route(kProfilePath, reply);
        GeneralSettingsView& general = *makeView().general();
        fill(general.nameField(), QStringLiteral("New"));
        general.saveProfile();
        ASSERT_TRUE(waitForSave(general));
        EXPECT_EQ(general.profileSaveMessage(), QStringLiteral("Failed to save")) << c.status;
        EXPECT_EQ(general.profileSaveMessageLabel()->palette().color(QPalette::WindowText), Style::red());
        EXPECT_EQ(settings.profileName(), QStringLiteral("Old"));
        EXPECT_EQ(settings.profileEmail(), QStringLiteral("old@example.org"));
    }

    // Nothing listening at all: a transport error reads the same.
    QNetworkAccessManager otherNetwork;
    APIClient unreachable(otherNetwork, QUrl(QStringLiteral("http://127.0.0.1:1")), BundleInfo::current());
    unreachable.configure(QStringLiteral("i"), QStringLiteral("s"));
    view.reset();
    GeneralSettingsView general(settings, launchAtLogin, updaterService, unreachable, session.workspace());
    general.show();
    general.saveProfile();
    ASSERT_TRUE(waitForSave(general));
    EXPECT_EQ(general.profileSaveMessage(), QStringLiteral("Failed to save"));
}

// The settings folder made read-only while the program runs, in a way that holds for root too: as root the
// folder and what leads to it go to another user, as whom this thread then reaches files.
struct ReadOnlyFolder {
    explicit ReadOnlyFolder(const QTemporaryDir& home) : names{home.path(), home.filePath("keyloom")} {
        names << names[1] + "/defaults.plist" << names[1] + "/defaults.plist.lock";
        for (const QString& name : std::as_const(names)) {
            EXPECT_TRUE(!root || ::chown(QFile::encodeName(name).constData(), 65534, 65534) == 0);
        }
        ::setfsuid(root ? 65534 : ::geteuid());
        EXPECT_EQ(::chmod(QFile::encodeName(names[1]).constData(), 0555), 0);
    }
    ~ReadOnlyFolder() {
        ::chmod(QFile::encodeName(names[1]).constData(), 0700);
        ::setfsuid(::geteuid());
        for (const QString& name : std::as_const(names)) {
            EXPECT_TRUE(!root || ::chown(QFile::encodeName(name).constData(), 0, 0) == 0);
        }
    }
    QStringList names;
    const bool root = ::geteuid() == 0;
};

// "✓ Saved" only once the settings file holds the profile: a save waits for another process holding the
// file's lock, one the folder does not take fails (the values stay in memory), and the same save once the
// folder takes writes again stores it.
TEST_F(SettingsViewTest, TheProfileIsSavedOnlyWhenTheFileHoldsIt) {
    QTemporaryDir home;
    const QString file = home.filePath("keyloom/defaults.plist");
    PlistUserDefaults fileDefaults(file);
    AppSettings fileSettings(fileDefaults);
    fileSettings.setIsPaused(false);
    GeneralSettingsView general(fileSettings, launchAtLogin, updaterService, api, session.workspace());
    general.show();
    fill(general.nameField(), QStringLiteral("Ada"));
    fill(general.emailField(), QStringLiteral("ada@example.org"));
    auto save = [&](const QString& name, const QString& message) {
        CannedResponse reply;
        reply.body = R"({"install_id":"install-1","email":"ada@lovelace.example","name":")" + name.toUtf8() + "\"}";
        server.route(kProfilePath, reply);
        general.saveProfile();
        ASSERT_TRUE(waitForSave(general));
        EXPECT_EQ(general.profileSaveMessage(), message);
    };
    auto nameInFile = [&] { return PlistUserDefaults(file).stringForKey("profileName"); };

    const auto holder = holdWriteLock(file);
    QTimer::singleShot(300, [&] { release(*holder); });
    save(QStringLiteral("Ada L."), QStringLiteral("✓ Saved"));
    EXPECT_EQ(nameInFile(), QStringLiteral("Ada L."));
    {
        ReadOnlyFolder readOnly(home);
        save(QStringLiteral("Grace H."), QStringLiteral("Failed to save"));
        EXPECT_EQ(general.profileSaveMessageLabel()->palette().color(QPalette::WindowText), Style::red());
        EXPECT_EQ(fileSettings.profileName(), QStringLiteral("Grace H."));
    }
    EXPECT_EQ(nameInFile(), QStringLiteral("Ada L."));
    save(QStringLiteral("Grace H."), QStringLiteral("✓ Saved"));
    EXPECT_EQ(nameInFile(), QStringLiteral("Grace H."));
}

// A store that may not write its file keeps the profile in memory, and the form says it was not saved.
TEST_F(SettingsViewTest, AProfileKeptInMemoryOnlyIsNotSaved) {
    QTemporaryDir home;
    const QString file = home.filePath("defaults.plist");
    PlistUserDefaults memoryOnly(file, PlistUserDefaults::Mode::InMemoryOnly);
    AppSettings memorySettings(memoryOnly);
    GeneralSettingsView general(memorySettings, launchAtLogin, updaterService, api, session.workspace());
    general.show();
    fill(general.nameField(), QStringLiteral("Ada"));
    fill(general.emailField(), QStringLiteral("ada@example.org"));
    CannedResponse reply;
    reply.body = R"({"install_id":"install-1","email":"ada@example.org","name":"Ada L."})";
    server.route(kProfilePath, reply);
    general.saveProfile();
    ASSERT_TRUE(waitForSave(general));
    EXPECT_EQ(general.profileSaveMessage(), QStringLiteral("Failed to save"));
    EXPECT_EQ(memorySettings.profileName(), QStringLiteral("Ada L."));
    EXPECT_FALSE(QFile::exists(file));
}

TEST_F(SettingsViewTest, SaveWithoutCredentialsFailsWithoutSending) {
    QNetworkAccessManager otherNetwork;
    APIClient unconfigured(otherNetwork, server.url(), BundleInfo::current());
    GeneralSettingsView general(settings, launchAtLogin, updaterService, unconfigured, session.workspace());
    general.show();
    fill(general.nameField(), QStringLiteral("A"));
    fill(general.emailField(), QStringLiteral("b"));
    general.saveProfile();
    ASSERT_TRUE(waitForSave(general));
    EXPECT_EQ(general.profileSaveMessage(), QStringLiteral("Failed to save"));
    EXPECT_EQ(server.requestCount(), 0);
}

TEST_F(SettingsViewTest, ViewClosedDuringSaveStillStoresTheProfile) {
    CannedResponse reply;
    reply.body = R"({"install_id":"install-1"})";
    reply.delaySeconds = 0.2;
    server.route(kProfilePath, reply);
    GeneralSettingsView& general = *makeView().general();
    fill(general.nameField(), QStringLiteral("Late"));
    fill(general.emailField(), QStringLiteral("late@example.org"));
    general.saveProfile();
    view.reset();
    ASSERT_TRUE(QTest::qWaitFor([&] { return settings.profileName() == QStringLiteral("Late"); }, 5000));
    EXPECT_EQ(settings.profileEmail(), QStringLiteral("late@example.org"));
}

TEST_F(SettingsViewTest, ShortcutsTabListsTheBuiltInCatalogue) {
    const ShortcutsSettingsView& tab = *makeView().shortcuts();
    const QList<Shortcut>& all = ShortcutData::all();
    ASSERT_EQ(all.size(), 68);
    ASSERT_EQ(tab.rowCount(), 68);
    for (int i = 0; i < tab.rowCount(); ++i) {
        QWidget* row = tab.rowWidget(i);
        ASSERT_NE(row, nullptr);
        EXPECT_EQ(row->findChild<QLabel*>(QStringLiteral("shortcutName"))->text(), all[i].name);
        const auto* keys = row->findChild<KeySequence*>();
        ASSERT_NE(keys, nullptr);
        EXPECT_EQ(keys->keys(), all[i].macKeys);
    }
    EXPECT_EQ(tab.list()->selectionMode(), QAbstractItemView::NoSelection);
}

TEST_F(SettingsViewTest, AboutShowsTheVersionLineAndOpensTheLinks) {
    BundleInfo bundle;
    bundle.shortVersion = QStringLiteral("2.3");
    bundle.buildNumber = QStringLiteral("417");
    AboutView& about = *makeView(bundle).about();
    EXPECT_EQ(about.versionLabel()->text(), QStringLiteral("Version 2.3 (417)"));

    QTest::mouseClick(about.websiteButton(), Qt::LeftButton);
    QTest::mouseClick(about.supportButton(), Qt::LeftButton);
    ASSERT_EQ(session.openedURLs().size(), 2);
    EXPECT_EQ(session.openedURLs()[0], QUrl(QString::fromUtf8(keyloom::build::websiteUrl)));
    EXPECT_EQ(session.openedURLs()[1].scheme(), QStringLiteral("mailto"));
    EXPECT_EQ(session.openedURLs()[1].path(), QString::fromUtf8(keyloom::build::supportEmail));

    EXPECT_EQ(AboutView::versionLine(BundleInfo{}), QStringLiteral("Version 1.0 (1)"));
    BundleInfo onlyBuild;
    onlyBuild.buildNumber = QStringLiteral("9");
    EXPECT_EQ(AboutView::versionLine(onlyBuild), QStringLiteral("Version 1.0 (9)"));
}

TEST_F(SettingsViewTest, ScreenshotsOfTheThreeTabs) {
    settings.setProfileName(QStringLiteral("Ada Lovelace"));
    settings.setProfileEmail(QStringLiteral("ada@example.org"));
    SettingsView& settingsView = makeView();
    const QStringList names{"settings_general", "settings_shortcuts", "settings_about"};
    for (int i = 0; i < 3; ++i) {
        settingsView.setCurrentIndex(i);
        EXPECT_FALSE(saveScreenshot(settingsView, names[i]).isEmpty());
    }
    for (const SymbolView* symbol : settingsView.findChildren<SymbolView*>()) {
        EXPECT_TRUE(symbol->hasGlyph()) << symbol->name().toStdString();
    }
}
