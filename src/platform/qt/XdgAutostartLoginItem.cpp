#include "platform/qt/XdgAutostartLoginItem.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>

namespace {

// Quotes an Exec argument the way the desktop entry format wants: inside double quotes, with
// the four reserved characters escaped, and every '%' doubled since '%' starts a field code.
QString quoteExecArgument(const QString& argument) {
    QString quoted;
    for (const QChar c : argument) {
        if (c == u'"' || c == u'`' || c == u'$' || c == u'\\') {
            quoted += u'\\';
        }
        if (c == u'%') {
            quoted += u'%';
        }
        quoted += c;
    }
    // Escapes inside a string value are themselves escaped once more.
    quoted.replace(u'\\', QStringLiteral("\\\\"));
    return u'"' + quoted + u'"';
}

}  // namespace

XdgAutostartLoginItem::XdgAutostartLoginItem(QString executable) : m_executable(std::move(executable)) {}

QString XdgAutostartLoginItem::entryPath() {
    QString configHome = qEnvironmentVariable("XDG_CONFIG_HOME");
    // Relative values are invalid and must be ignored.
    if (configHome.isEmpty() || QDir::isRelativePath(configHome)) {
        configHome = QDir::homePath() + QStringLiteral("/.config");
    }
    return configHome + QStringLiteral("/autostart/keyloom.desktop");
}

QByteArray XdgAutostartLoginItem::desktopEntry(const QString& executable) {
    QString text;
    text += QStringLiteral("[Desktop Entry]\n");
    text += QStringLiteral("Type=Application\n");
    text += QStringLiteral("Name=Keyloom\n");
    text += QStringLiteral("Exec=") + quoteExecArgument(executable) + u'\n';
    text += QStringLiteral("X-GNOME-Autostart-enabled=true\n");
    return text.toUtf8();
}

std::optional<QString> XdgAutostartLoginItem::registerItem() {
    const QString executable = m_executable.isEmpty() ? QCoreApplication::applicationFilePath() : m_executable;
    if (executable.isEmpty() || executable.contains(u'\n') || executable.contains(u'\r')) {
        return QStringLiteral("The application's location is not known.");
    }
    const QString path = entryPath();
    const QString folder = QFileInfo(path).absolutePath();
    if (!QDir().mkpath(folder)) {
        return QStringLiteral("The folder %1 could not be created.").arg(folder);
    }
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly)) {
        return QStringLiteral("%1 could not be written: %2").arg(path, file.errorString());
    }
    file.write(desktopEntry(executable));
    if (!file.commit()) {
        return QStringLiteral("%1 could not be written: %2").arg(path, file.errorString());
    }
    return std::nullopt;
}

std::optional<QString> XdgAutostartLoginItem::unregisterItem() {
    const QString path = entryPath();
    QFile file(path);
    if (!file.exists()) {
        return std::nullopt;
    }
    if (!file.remove()) {
        return QStringLiteral("%1 could not be removed: %2").arg(path, file.errorString());
    }
    return std::nullopt;
}
