#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLocalSocket>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <atomic>
#include <thread>

#include <cstring>

#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include "app/SingleInstance.h"

using namespace Qt::StringLiterals;
using namespace std::chrono_literals;

namespace {

// A client that speaks to the instance the way a later start does, without blocking this thread.
QByteArray ask(const QString& socketPath, const QByteArray& request) {
    QLocalSocket client;
    client.connectToServer(socketPath);
    if (!client.waitForConnected(2000)) {
        return "not connected";
    }
    client.write(request);
    client.flush();
    QByteArray answer;
    const bool ended = QTest::qWaitFor(
        [&] {
            answer += client.readAll();
            return client.state() == QLocalSocket::UnconnectedState || answer.endsWith('\n');
        },
        2000);
    return ended ? answer : QByteArray("no answer");
}

class SingleInstanceTest : public ::testing::Test {
protected:
    QTemporaryDir folder;  // 0700
    const QString name = u"keyloom-test"_s;
};

}  // namespace

TEST_F(SingleInstanceTest, ALaterStartHandsItsReopenToTheRunningInstance) {
    SingleInstance first(name, folder.path(), folder.path(), ::getuid());
    ASSERT_EQ(first.start(1s), SingleInstance::Start::Running);
    EXPECT_TRUE(first.isListening());
    EXPECT_TRUE(QFile::exists(first.socketPath()));
    QSignalSpy reopened(&first, &SingleInstance::reopenRequested);

    // A later start blocks until the running one answers, as a second process would. It finds
    // the socket through the lock even when its own runtime folder is another.
    QTemporaryDir otherRuntime;
    std::atomic<int> outcome{-1};
    std::thread later([&] {
        SingleInstance second(name, folder.path(), otherRuntime.path(), ::getuid());
        outcome = static_cast<int>(second.start(10s));
    });
    EXPECT_TRUE(QTest::qWaitFor([&] { return outcome != -1; }, 15000));
    later.join();
    EXPECT_EQ(outcome, static_cast<int>(SingleInstance::Start::HandedOver));
    EXPECT_EQ(reopened.count(), 1);
}

TEST_F(SingleInstanceTest, WithNobodyAnsweringAStartWaitsThenGivesUp) {
    // Holds the lock like an instance that hangs before its event loop runs.
    SingleInstance hung(name, folder.path(), folder.path(), ::getuid());
    ASSERT_EQ(hung.start(1s), SingleInstance::Start::Running);
    SingleInstance second(name, folder.path(), folder.path(), ::getuid());
    EXPECT_EQ(second.start(300ms), SingleInstance::Start::NoAnswer);
    EXPECT_FALSE(second.isListening());
}

TEST_F(SingleInstanceTest, AStaleSocketIsReplacedAndStrangersAreRefused) {
    // What a killed instance leaves behind: a socket file nobody answers on.
    const QByteArray stale = QFile::encodeName(folder.filePath(name + u".socket"_s));
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    std::strncpy(address.sun_path, stale.constData(), sizeof(address.sun_path) - 1);
    const int dead = ::socket(AF_UNIX, SOCK_STREAM, 0);
    ASSERT_EQ(::bind(dead, reinterpret_cast<const sockaddr*>(&address), sizeof(address)), 0);
    ::close(dead);
    ASSERT_TRUE(QFile::exists(QFile::decodeName(stale)));
    SingleInstance instance(name, folder.path(), folder.path(), ::getuid());
    ASSERT_EQ(instance.start(1s), SingleInstance::Start::Running);
    QSignalSpy reopened(&instance, &SingleInstance::reopenRequested);
    EXPECT_EQ(ask(instance.socketPath(), QByteArray(200, 'x')), QByteArray());
    EXPECT_EQ(ask(instance.socketPath(), "open\n"), QByteArray());
    EXPECT_EQ(ask(instance.socketPath(), SingleInstance::reopenRequest), QByteArray(SingleInstance::reopenAccepted));
    EXPECT_EQ(reopened.count(), 1);

    // Another user's request is refused, whatever it says.
    QTemporaryDir otherSettings;
    SingleInstance guarded(u"keyloom-other"_s, otherSettings.path(), folder.path(), ::getuid() + 1);
    ASSERT_EQ(guarded.start(1s), SingleInstance::Start::Running);
    QSignalSpy strangerReopened(&guarded, &SingleInstance::reopenRequested);
    EXPECT_EQ(ask(guarded.socketPath(), SingleInstance::reopenRequest), QByteArray());
    EXPECT_EQ(strangerReopened.count(), 0);
}

TEST_F(SingleInstanceTest, TheSocketGoesWithTheInstanceAndTheLockPassesOn) {
    auto first = std::make_unique<SingleInstance>(name, folder.path(), folder.path(), ::getuid());
    ASSERT_EQ(first->start(1s), SingleInstance::Start::Running);
    const QString socket = first->socketPath();
    first.reset();
    EXPECT_FALSE(QFile::exists(socket));
    SingleInstance next(name, folder.path(), folder.path(), ::getuid());
    EXPECT_EQ(next.start(1s), SingleInstance::Start::Running);
}

// The socket only ever lives where no other user can reach it.
TEST(SingleInstanceFolder, OnlyAFolderOfTheUsersOwnIsUsed) {
    QTemporaryDir temp;
    const QByteArray savedRuntime = qgetenv("XDG_RUNTIME_DIR");
    const QByteArray savedTemp = qgetenv("TMPDIR");
    qputenv("TMPDIR", QFile::encodeName(temp.path()));
    const QString fallback = temp.filePath(u"keyloom-%1"_s.arg(::getuid()));

    QTemporaryDir runtime;  // 0700 and ours
    qputenv("XDG_RUNTIME_DIR", QFile::encodeName(runtime.path()));
    EXPECT_EQ(SingleInstance::privateFolder(), runtime.path());

    // A runtime folder others may enter, or none: a 0700 folder of our own instead.
    ::chmod(QFile::encodeName(runtime.path()).constData(), 0755);
    EXPECT_EQ(SingleInstance::privateFolder(), fallback);
    qunsetenv("XDG_RUNTIME_DIR");
    ::chmod(QFile::encodeName(fallback).constData(), 0755);
    EXPECT_EQ(SingleInstance::privateFolder(), fallback);
    struct stat info {};
    ASSERT_EQ(::stat(QFile::encodeName(fallback).constData(), &info), 0);
    EXPECT_EQ(info.st_mode & 0777, 0700u);

    // Someone else's folder, or a link, in its place: no guard rather than a shared socket.
    ASSERT_TRUE(QDir(fallback).removeRecursively());
    ASSERT_TRUE(QFile::link(runtime.path(), fallback));
    EXPECT_EQ(SingleInstance::privateFolder(), QString());
    ASSERT_TRUE(QFile::remove(fallback));
    if (::geteuid() == 0) {
        ASSERT_TRUE(QDir().mkdir(fallback));
        ASSERT_EQ(::chown(QFile::encodeName(fallback).constData(), ::getuid() + 1, 0), 0);
        EXPECT_EQ(SingleInstance::privateFolder(), QString());
    }
    // With no private folder the socket goes beside the lock: still guarded.
    QTemporaryDir settings;
    SingleInstance beside(u"keyloom-test"_s, settings.path(), QString(), ::getuid());
    ASSERT_EQ(beside.start(1s), SingleInstance::Start::Running);
    EXPECT_EQ(QFileInfo(beside.socketPath()).path(), settings.path());

    qputenv("XDG_RUNTIME_DIR", savedRuntime);
    qputenv("TMPDIR", savedTemp);
}

// A lock that someone else could hold or replace proves nothing: it is neither used nor followed. The
// start takes its lock in the private folder instead, and says why.
TEST(SingleInstanceLock, AnUntrustworthyLockIsReplacedByOneInThePrivateFolder) {
    QTemporaryDir linked, foreign, open, runtime;
    ASSERT_TRUE(QFile::link(open.filePath(u"x"_s), linked.filePath(QLatin1String(SingleInstance::lockFileName))));
    const bool root = ::geteuid() == 0;  // only root can give a folder away
    ASSERT_TRUE(!root || ::chown(QFile::encodeName(foreign.path()).constData(), ::getuid() + 1, 0) == 0);
    for (const QString& folder : {linked.path(), root ? foreign.path() : u"relative"_s}) {
        auto instance = std::make_unique<SingleInstance>(u"keyloom-test"_s, folder, runtime.path(), ::getuid());
        EXPECT_EQ(instance->start(100ms), SingleInstance::Start::Running) << qPrintable(folder);
        EXPECT_TRUE(instance->problem().contains(folder)) << qPrintable(instance->problem());
        EXPECT_FALSE(QFile::exists(open.filePath(u"x"_s)));
        // The lock is held there: a later start on the same settings waits for it.
        SingleInstance later(u"keyloom-test"_s, folder, runtime.path(), ::getuid());
        EXPECT_EQ(later.start(100ms), SingleInstance::Start::NoAnswer) << qPrintable(folder);
        instance.reset();
        EXPECT_EQ(later.start(100ms), SingleInstance::Start::Running) << qPrintable(folder);
    }
    // Ours, merely too open: closed and used. A lock file others may read is made owner-only.
    ::chmod(QFile::encodeName(open.path()).constData(), 0777);
    QFile lock(open.filePath(QLatin1String(SingleInstance::lockFileName)));
    ASSERT_TRUE(lock.open(QIODevice::WriteOnly));
    ASSERT_TRUE(lock.setPermissions(QFile::ReadOwner | QFile::WriteOwner | QFile::ReadGroup | QFile::ReadOther));
    SingleInstance instance(u"keyloom-test"_s, open.path(), open.path(), ::getuid());
    EXPECT_EQ(instance.start(1s), SingleInstance::Start::Running);
    EXPECT_TRUE(instance.problem().isEmpty()) << qPrintable(instance.problem());
    EXPECT_EQ(QFileInfo(open.path()).permissions() & (QFile::WriteGroup | QFile::WriteOther), 0);
    EXPECT_EQ(lock.permissions(), QFile::ReadOwner | QFile::WriteOwner | QFile::ReadUser | QFile::WriteUser);
}
