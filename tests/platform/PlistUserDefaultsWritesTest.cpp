#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/stat.h>

#include <csignal>
#include <iostream>

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QProcess>
#include <QSignalSpy>
#include <QTest>
#include <memory>
#include <vector>

#include "LockHolder.h"
#include "PlistUserDefaultsFixture.h"
#include "models/AppSettings.h"
#include "platform/qt/PlistMarkupGuard.h"
#include "platform/qt/PlistWriteLock.h"
#include "platform/qt/PlistXmlWriter.h"

// What the store refuses to write, and writes that must not be lost: to a full disk or to another process.

namespace {

using PlistUserDefaultsWritesTest = PlistUserDefaultsFixture;

}  // namespace

// What a property list cannot carry exactly is refused at the write: nothing changes, nothing is announced,
// and nothing is ever replaced on the way to the file.
TEST_F(PlistUserDefaultsWritesTest, ValuesThatCannotBeStoredExactlyAreRefused) {
    const QString text = QString::fromUtf8(QByteArray("text"));
    QVariant tooDeep = QVariantList{};
    for (int i = 0; i < UserDefaults::maxDepth; ++i) {
        tooDeep = QVariantList{tooDeep};
    }
    const QList<std::pair<QString, QVariant>> rows{
        {"v", text + QChar(1)},
        {"v", text + QChar(0)},
        {"v", text + QChar(0xFFFE)},
        {"v", QString(QChar(0xFFFF))},
        {"v", text + QChar(0xD83D)},
        {"v", QChar(0xDE00) + text},
        {"v", QVariantList{text, text + QChar(2)}},
        {"v", QVariantMap{{text + QChar(0x1F), 1}}},
        {text + QChar(4), true},
        {"v", QDateTime(QDate(10000, 1, 1), QTime(0, 0), Qt::UTC)},
        {"v", QDateTime(QDate(9999, 12, 31), QTime(23, 0), Qt::OffsetFromUTC, -3600)},
        {"v", QDateTime(QDate(-1, 12, 31), QTime(0, 0), Qt::UTC)},
        {"v", QDateTime(QDate(2026, 1, 15), QTime(12, 0, 0, 250), Qt::UTC)},
        {"v", QVariantList{QVariant()}},
        {"v", tooDeep},
        {"v", QVariant::fromValue(static_cast<QObject*>(nullptr))},
    };
    PlistUserDefaults defaults(path());
    defaults.setString("before", "v");
    const QByteArray file = readFile(path());
    QSignalSpy changed(&defaults, &UserDefaults::didChange);
    for (const auto& [key, value] : rows) {
        SCOPED_TRACE(key.toStdString() + " " + value.toString().toStdString());
        EXPECT_FALSE(defaults.setObject(value, key));
        EXPECT_EQ(defaults.dictionaryRepresentation(), (QVariantMap{{"v", "before"}}));
    }
    EXPECT_EQ(changed.count(), 0);
    EXPECT_EQ(readFile(path()), file);
}

// A value that would make a file the reader refuses is refused; everything else the store writes, reads back.
TEST_F(PlistUserDefaultsWritesTest, WhatTheStoreWritesItReadsBack) {
    const QString ampersands = QString::fromUtf8(QByteArray(32767, '&'));  // a text field's longest input
    const QString large = QString::fromUtf8(QByteArray(1100000, 'x'));
    {
        PlistUserDefaults defaults(path());
        defaults.setString("3F2504E0-4F89-41D3-9A0C-0305E82C3301", "deviceId");
        EXPECT_TRUE(defaults.setString(ampersands, "profileName"));
        EXPECT_TRUE(defaults.setString(ampersands, "profileEmail"));
        EXPECT_TRUE(defaults.setString(large, "large"));
        const QByteArray file = readFile(path());
        QSignalSpy changed(&defaults, &UserDefaults::didChange);
        EXPECT_FALSE(defaults.setString(QString::fromUtf8(QByteArray(1100000, '<')), "escapedPast4MiB"));
        EXPECT_FALSE(defaults.setObject(QVariantList(PlistMarkupGuard::maxMarkup, true), "tooManyValues"));
        EXPECT_EQ(changed.count(), 0);
        EXPECT_EQ(readFile(path()), file);
        EXPECT_EQ(defaults.dictionaryRepresentation().size(), 4);
    }
    PlistUserDefaults reopened(path());
    EXPECT_TRUE(reopened.movedAsidePath().isEmpty());
    EXPECT_EQ(reopened.stringForKey("profileName"), ampersands);
    EXPECT_EQ(reopened.stringForKey("profileEmail"), ampersands);
    EXPECT_EQ(reopened.stringForKey("large"), large);
    EXPECT_EQ(reopened.stringForKey("deviceId"), "3F2504E0-4F89-41D3-9A0C-0305E82C3301");
}

// A write that could not reach the file (here: past the file size limit, as on a full disk) stays in memory,
// over what others write, until a later write stores it.
TEST_F(PlistUserDefaultsWritesTest, AValueThatFailedToSaveIsNotGivenUpForOthersChanges) {
    PlistUserDefaults defaults(path());
    defaults.setString("ours", "a");
    const QByteArray file = readAll(path());
    rlimit saved{};
    ASSERT_EQ(::getrlimit(RLIMIT_FSIZE, &saved), 0);
    const auto previousHandler = std::signal(SIGXFSZ, SIG_IGN);
    rlimit small = saved;
    small.rlim_cur = 16;
    ASSERT_EQ(::setrlimit(RLIMIT_FSIZE, &small), 0);
    EXPECT_TRUE(defaults.setString("unsaved", "b"));
    ::setrlimit(RLIMIT_FSIZE, &saved);
    std::signal(SIGXFSZ, previousHandler);
    EXPECT_EQ(readAll(path()), file) << "a cut file is never committed";

    QSignalSpy changed(&defaults, &UserDefaults::didChange);
    writeAll(path(), PlistXmlWriter::write(PlistDocument{{{"a", "theirs"}}, {}, {}}).value());
    EXPECT_TRUE(changed.wait(5000));
    EXPECT_EQ(defaults.stringForKey("a"), "theirs");
    EXPECT_EQ(defaults.stringForKey("b"), "unsaved");

    defaults.setBool(true, "c");
    EXPECT_EQ(PlistUserDefaults(path()).dictionaryRepresentation(),
              (QVariantMap{{"a", "theirs"}, {"b", "unsaved"}, {"c", true}}));
}

// Two processes writing keys of their own into one file at the same time lose none of them, on disk or in
// their own memory. The test program runs itself twice as the two writers.
TEST_F(PlistUserDefaultsWritesTest, TwoProcessesWritingAtOnceLoseNothing) {
    constexpr int kKeys = 150;
    const QString writerFile = qEnvironmentVariable("KEYLOOM_TEST_WRITER_FILE");
    if (!writerFile.isEmpty()) {
        const QString name = qEnvironmentVariable("KEYLOOM_TEST_WRITER_NAME");
        const QString ready = writerFile + ".ready-";
        PlistUserDefaults defaults(writerFile);
        writeAll(ready + name, "");
        ASSERT_TRUE(QTest::qWaitFor(
            [&] { return QDir(QFileInfo(writerFile).path()).entryList({"*.ready-*"}).size() == 2; }, 20000));
        for (int i = 0; i < kKeys; ++i) {
            defaults.setInteger(i, name + QString::number(i));
            QCoreApplication::processEvents();  // others' changes come in as they would
        }
        for (int i = 0; i < kKeys; ++i) {
            ASSERT_EQ(defaults.integerForKey(name + QString::number(i)), i) << "lost from memory";
        }
        return;
    }
    QDir().mkpath(QFileInfo(path()).path());
    std::vector<std::unique_ptr<QProcess>> writers;
    for (const QString name : {"left", "right"}) {
        auto& writer = writers.emplace_back(std::make_unique<QProcess>());
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert("KEYLOOM_TEST_WRITER_FILE", path());
        environment.insert("KEYLOOM_TEST_WRITER_NAME", name);
        writer->setProcessEnvironment(environment);
        writer->setProcessChannelMode(QProcess::MergedChannels);
        writer->start(QCoreApplication::applicationFilePath(),
                      {"--gtest_filter=PlistUserDefaultsWritesTest.TwoProcessesWritingAtOnceLoseNothing"});
    }
    for (const auto& writer : writers) {
        ASSERT_TRUE(writer->waitForFinished(120000));
        EXPECT_EQ(writer->exitCode(), 0) << writer->readAll().toStdString();
    }
    PlistUserDefaults merged(path());
    EXPECT_EQ(merged.dictionaryRepresentation().size(), 2 * kKeys);
    for (int i = 0; i < kKeys; ++i) {
        EXPECT_EQ(merged.integerForKey("left" + QString::number(i)), i);
        EXPECT_EQ(merged.integerForKey("right" + QString::number(i)), i);
    }
}

// Another process holding the write lock never holds up a write here: a writer that is slow to let go keeps
// what it wrote, one that never lets go is passed over, and the lock file is made owner-only.
TEST_F(PlistUserDefaultsWritesTest, ALockHeldByAnotherProcessHoldsUpNoWrite) {
    PlistUserDefaults defaults(path());
    AppSettings settings(defaults);
    settings.setIsPaused(false);
    const QByteArray lock = QFile::encodeName(path() + ".lock");
    ASSERT_EQ(::chmod(lock.constData(), 0644), 0);  // as an older version left it
    auto inFile = [this] { return PlistUserDefaults(path()).dictionaryRepresentation(); };
    QVariantMap theirs = inFile();
    theirs.insert("theirs", qint64{1});
    writeAll(dir.filePath("theirs"), PlistXmlWriter::write(PlistDocument{theirs, {}, {}}).value());
    const auto slow = holdWriteLock(path(), dir.filePath("theirs"));
    QElapsedTimer clock;
    clock.start();
    settings.setIsPaused(true);
    EXPECT_LT(clock.elapsed(), 500);
    QTest::qWait(300);
    EXPECT_FALSE(inFile().value("isPaused").toBool()) << "written while the lock was held";
    release(*slow);
    theirs.insert("isPaused", true);
    EXPECT_TRUE(QTest::qWaitFor([&] { return inFile() == theirs; }, 5000));

    const auto stuck = holdWriteLock(path());
    clock.restart();
    settings.setIsPaused(false);
    const qint64 toggle = clock.restart();
    for (int use = 0; use < 6; ++use) {  // three typed sequences: a day's count and a record each
        defaults.setInteger(use, "use" + QString::number(use));
    }
    std::cout << "[lock held elsewhere] toggle " << toggle << " ms, six more writes " << clock.elapsed() << " ms\n";
    EXPECT_LT(toggle + clock.elapsed(), 500);
    EXPECT_TRUE(QTest::qWaitFor([&] { return inFile().size() == 8; }, PlistWriteLock::maxWaitMs + 5000));
    clock.restart();
    settings.setIsPaused(true);
    EXPECT_LT(clock.elapsed(), 500);
    EXPECT_TRUE(inFile().value("isPaused").toBool()) << "the holder passed over, later writes go straight on";
    struct stat info {};
    EXPECT_TRUE(::stat(lock.constData(), &info) == 0 && (info.st_mode & 07777) == 0600) << info.st_mode;
    release(*stuck);
    defaults.setBool(true, "after");
    EXPECT_EQ(inFile().size(), 9);
}

// A lock path that is no regular file is never followed or changed: writes go on without it.
TEST_F(PlistUserDefaultsWritesTest, AnOddLockPathIsLeftAlone) {
    const QByteArray lock = QFile::encodeName(path() + ".lock");
    const QByteArray target = QFile::encodeName(dir.filePath("target"));
    writeAll(dir.filePath("target"), "kept");
    ASSERT_EQ(::chmod(target.constData(), 0644), 0);
    for (const bool fifo : {false, true}) {
        QDir(dir.filePath("keyloom")).removeRecursively();
        QDir().mkpath(dir.filePath("keyloom"));
        ASSERT_EQ(fifo ? ::mkfifo(lock.constData(), 0644) : ::symlink(target.constData(), lock.constData()), 0);
        EXPECT_TRUE(PlistUserDefaults(path()).setBool(fifo, "written"));
        EXPECT_EQ(PlistUserDefaults(path()).objectForKey("written"), QVariant(fifo));
        struct stat info {};
        ASSERT_EQ(::stat(fifo ? lock.constData() : target.constData(), &info), 0);
        EXPECT_EQ(info.st_mode & 07777, 0644u);
        EXPECT_EQ(readAll(dir.filePath("target")), "kept");
    }
}
