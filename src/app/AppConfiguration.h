#pragma once

#include <QString>
#include <QUrl>

// Where the application sends its traffic and keeps its state. The running application takes the
// values compiled into the build; tests point them at servers and folders of their own.
struct AppConfiguration {
    QUrl apiBaseUrl;       // the backend origin
    QUrl analyticsUrl;     // the analytics capture URL
    QString sentryDsn;     // the crash-reporting project address
    QUrl appcastUrl;       // the update feed
    QString defaultsPath;  // the user-defaults property list
    // The defaults file is read but left as it is, the values kept in memory: this process could not
    // make sure it is the only one writing it.
    bool defaultsInMemoryOnly = false;
    // The local socket through which a second launch reaches the running instance.
    QString instanceName;

    // The build's endpoints, the user's defaults file and the instance name that goes with it.
    static AppConfiguration fromBuild();
    // One running instance per user and defaults file.
    static QString instanceNameFor(const QString& defaultsPath);
};
