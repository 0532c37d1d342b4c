#include "app/AppConfiguration.h"

#include <QCryptographicHash>
#include <QDir>

#include "BuildConfig.h"
#include "platform/qt/PlistUserDefaults.h"

#include <unistd.h>

AppConfiguration AppConfiguration::fromBuild() {
    AppConfiguration config;
    config.apiBaseUrl = QUrl(QString::fromUtf8(keyloom::build::apiBaseUrl));
    config.analyticsUrl = QUrl(QString::fromUtf8(keyloom::build::analyticsUrl));
    config.sentryDsn = QString::fromUtf8(keyloom::build::sentryDsn);
    config.appcastUrl = QUrl(QString::fromUtf8(keyloom::build::appcastUrl));
    config.defaultsPath = PlistUserDefaults::defaultPath();
    config.instanceName = instanceNameFor(config.defaultsPath);
    return config;
}

QString AppConfiguration::instanceNameFor(const QString& defaultsPath) {
    // Socket names live in a shared folder: the user id keeps users apart, the hash keeps apart
    // instances that run on different defaults files (a different XDG_CONFIG_HOME).
    const QByteArray key = QDir::cleanPath(QDir(defaultsPath).absolutePath()).toUtf8();
    const QByteArray hash = QCryptographicHash::hash(key, QCryptographicHash::Sha256).toHex().left(16);
    return QStringLiteral("keyloom-%1-%2").arg(getuid()).arg(QString::fromLatin1(hash));
}
