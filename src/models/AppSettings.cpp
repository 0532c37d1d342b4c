#include "models/AppSettings.h"

#include <QUuid>

#include "platform/UserDefaults.h"

namespace {
const QString kLaunchAtLogin = QStringLiteral("launchAtLogin");
const QString kShowInDock = QStringLiteral("showInDock");
const QString kIsPaused = QStringLiteral("isPaused");
const QString kHasCompletedOnboarding = QStringLiteral("hasCompletedOnboarding");
const QString kInstallRegistered = QStringLiteral("installRegistered");
const QString kThemeRaw = QStringLiteral("themeRaw");
const QString kProfileName = QStringLiteral("profileName");
const QString kProfileEmail = QStringLiteral("profileEmail");
const QString kDeviceId = QStringLiteral("deviceId");
}  // namespace

AppSettings::AppSettings(UserDefaults& defaults, QObject* parent) : QObject(parent), m_defaults(defaults) {}

// A value of another kind than the property's (a string under a Boolean key, a number under a string key)
// reads as the property's default, as an absent one does.
bool AppSettings::readBool(const QString& key, bool fallback) const {
    const QVariant value = m_defaults.objectForKey(key);
    return value.typeId() == QMetaType::Bool ? value.toBool() : fallback;
}

QString AppSettings::readString(const QString& key, const QString& fallback) const {
    const QVariant value = m_defaults.objectForKey(key);
    return value.typeId() == QMetaType::QString ? value.toString() : fallback;
}

void AppSettings::write(const QString& key, const QVariant& value) {
    emit objectWillChange();
    m_defaults.setObject(value, key);
}

bool AppSettings::launchAtLogin() const { return readBool(kLaunchAtLogin, false); }
void AppSettings::setLaunchAtLogin(bool value) { write(kLaunchAtLogin, value); }
bool AppSettings::showInDock() const { return readBool(kShowInDock, true); }
void AppSettings::setShowInDock(bool value) { write(kShowInDock, value); }
bool AppSettings::isPaused() const { return readBool(kIsPaused, false); }
void AppSettings::setIsPaused(bool value) { write(kIsPaused, value); }
bool AppSettings::hasCompletedOnboarding() const { return readBool(kHasCompletedOnboarding, false); }
void AppSettings::setHasCompletedOnboarding(bool value) { write(kHasCompletedOnboarding, value); }
bool AppSettings::installRegistered() const { return readBool(kInstallRegistered, false); }
void AppSettings::setInstallRegistered(bool value) { write(kInstallRegistered, value); }
QString AppSettings::themeRaw() const { return readString(kThemeRaw, QStringLiteral("system")); }
void AppSettings::setThemeRaw(const QString& value) { write(kThemeRaw, value); }
QString AppSettings::profileName() const { return readString(kProfileName, QString()); }
void AppSettings::setProfileName(const QString& value) { write(kProfileName, value); }
QString AppSettings::profileEmail() const { return readString(kProfileEmail, QString()); }
void AppSettings::setProfileEmail(const QString& value) { write(kProfileEmail, value); }

UserDefaults::SaveState AppSettings::profileSaveState() const {
    return qMax(m_defaults.saveState(kProfileName), m_defaults.saveState(kProfileEmail));
}

QString AppSettings::deviceId() const {
    if (const auto stored = m_defaults.stringForKey(kDeviceId)) {
        return *stored;
    }
    const QString created = QUuid::createUuid().toString(QUuid::WithoutBraces).toUpper();
    m_defaults.setObject(created, kDeviceId);
    return created;
}
