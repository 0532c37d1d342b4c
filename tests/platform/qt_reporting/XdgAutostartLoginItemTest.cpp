#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>

#include "platform/qt/XdgAutostartLoginItem.h"

namespace {

class ScopedConfigHome {
public:
    explicit ScopedConfigHome(const QString& path)
        : m_old(qgetenv("XDG_CONFIG_HOME")), m_had(qEnvironmentVariableIsSet("XDG_CONFIG_HOME")) {
        qputenv("XDG_CONFIG_HOME", path.toUtf8());
    }
    ~ScopedConfigHome() {
        if (m_had) {
            qputenv("XDG_CONFIG_HOME", m_old);
        } else {
            qunsetenv("XDG_CONFIG_HOME");
        }
    }

private:
    QByteArray m_old;
    bool m_had;
};

}  // namespace

TEST(XdgAutostartLoginItem, CreatesAndRemovesTheAutostartEntry) {
    QTemporaryDir home;
    ScopedConfigHome scope(home.path());
    const QString path = home.path() + QStringLiteral("/autostart/keyloom.desktop");
    EXPECT_EQ(XdgAutostartLoginItem::entryPath(), path);

    XdgAutostartLoginItem item(QStringLiteral("/opt/keyloom/bin/keyloom"));
    EXPECT_FALSE(item.registerItem().has_value());
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    const QByteArray text = file.readAll();
    file.close();
    EXPECT_TRUE(text.startsWith("[Desktop Entry]\n"));
    EXPECT_TRUE(text.contains("\nType=Application\n"));
    EXPECT_TRUE(text.contains("\nExec=\"/opt/keyloom/bin/keyloom\"\n")) << text.toStdString();

    EXPECT_FALSE(item.registerItem().has_value());  // registering again simply rewrites it
    EXPECT_FALSE(item.unregisterItem().has_value());
    EXPECT_FALSE(QFileInfo::exists(path));
    EXPECT_FALSE(item.unregisterItem().has_value());  // nothing there: still fine
}

TEST(XdgAutostartLoginItem, RunsTheCurrentExecutableByDefault) {
    QTemporaryDir home;
    ScopedConfigHome scope(home.path());
    XdgAutostartLoginItem item;
    ASSERT_FALSE(item.registerItem().has_value());
    QFile file(XdgAutostartLoginItem::entryPath());
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    EXPECT_TRUE(file.readAll().contains("Exec=\"" + QCoreApplication::applicationFilePath().toUtf8() + "\""));
}

TEST(XdgAutostartLoginItem, QuotesAwkwardExecutablePaths) {
    EXPECT_TRUE(XdgAutostartLoginItem::desktopEntry(QStringLiteral("/a b/100%/\"x\"$y`z\\w"))
                    .contains(R"(Exec="/a b/100%%/\\"x\\"\\$y\\`z\\\\w")"))
        << XdgAutostartLoginItem::desktopEntry(QStringLiteral("/a b/100%/\"x\"$y`z\\w")).toStdString();
}

TEST(XdgAutostartLoginItem, ReportsFailuresAsText) {
    QTemporaryDir home;
    // A file where the autostart folder should be: the entry cannot be written.
    QFile blocker(home.path() + QStringLiteral("/autostart"));
    ASSERT_TRUE(blocker.open(QIODevice::WriteOnly));
    blocker.close();
    ScopedConfigHome scope(home.path());
    XdgAutostartLoginItem item(QStringLiteral("/bin/keyloom"));
    const auto error = item.registerItem();
    ASSERT_TRUE(error.has_value());
    EXPECT_FALSE(error->isEmpty());
}
