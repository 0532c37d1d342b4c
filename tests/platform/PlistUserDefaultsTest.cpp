#include <gtest/gtest.h>
#include <sys/stat.h>

#include <QProcess>
#include <QSaveFile>
#include <QSignalSpy>
#include <QStandardPaths>
#include <QTest>
#include <limits>

#include "PlistUserDefaultsFixture.h"
#include "platform/qt/PlistXmlWriter.h"

namespace {

using PlistUserDefaultsTest = PlistUserDefaultsFixture;

// Every kind, and the strings and dates XML or standard readers would otherwise change or reject, come back
// exactly; the file is one a standard reader takes.
TEST_F(PlistUserDefaultsTest, EveryValueKindSurvivesAReopen) {
    const QDateTime when(QDate(2025, 3, 9), QTime(14, 30, 5), Qt::UTC);
    const QVariantMap nested{{"inner", QVariantList{1, "two", QVariantMap{{"deep", true}}}}, {"empty", QVariantMap{}}};
    const QStringList exact = QString::fromUtf8(
                                  "a\rb|line\r\n|\r|\ttab\t|  spaced  |\x7f\xc2\x85\xe2\x80\xa8|"
                                  "\xef\xb7\x90\xef\xbf\xbd\xf0\x9f\x98\x80|]]>|&#13;")
                                  .split(u'|');
    const QVariantList dates{QDateTime(QDate(1, 1, 1), QTime(0, 0), Qt::UTC),
                             QDateTime(QDate(9999, 12, 31), QTime(23, 59, 59), Qt::UTC),
                             QDateTime(QDate(1600, 2, 29), QTime(6, 7, 8), Qt::OffsetFromUTC, 3600)};
    {
        PlistUserDefaults defaults(path());
        EXPECT_FALSE(QFile::exists(path())) << "nothing is written before the first change";
        defaults.setBool(true, "flag");
        defaults.setBool(false, "off");
        defaults.setInteger(-42, "negative");
        defaults.setInteger(std::numeric_limits<qint64>::max(), "max");
        defaults.setInteger(std::numeric_limits<qint64>::min(), "min");
        defaults.setObject(0.1, "real");
        defaults.setObject(-2.5e300, "hugeReal");
        defaults.setString("Grüße ⌥⇧ — 日本", "unicode");
        defaults.setString("", "emptyString");
        defaults.setString("<&>\"'", "markup");
        defaults.setObject(QByteArray("\x00\x01\xff{json}", 9), "data");
        defaults.setObject(QByteArray(), "emptyData");
        defaults.setObject(when, "date");
        defaults.setObject(QStringList{"a", "b"}, "strings");
        defaults.setObject(QStringList{"only"}, "single");
        defaults.setObject(QVariantList{}, "emptyArray");
        defaults.setObject(nested, "nested");
        defaults.setObject(exact, "exact");
        defaults.setObject(QVariantMap{{exact.first(), exact.last()}}, "exactKey");
        defaults.setObject(dates, "dates");
    }
    PlistUserDefaults reopened(path());
    EXPECT_EQ(reopened.objectForKey("flag"), QVariant(true));
    EXPECT_EQ(reopened.objectForKey("flag").typeId(), QMetaType::Bool);
    EXPECT_EQ(reopened.objectForKey("off"), QVariant(false));
    EXPECT_EQ(reopened.integerForKey("negative"), -42);
    EXPECT_EQ(reopened.integerForKey("max"), std::numeric_limits<qint64>::max());
    EXPECT_EQ(reopened.integerForKey("min"), std::numeric_limits<qint64>::min());
    EXPECT_EQ(reopened.objectForKey("real").typeId(), QMetaType::Double);
    EXPECT_EQ(reopened.doubleForKey("real"), 0.1);
    EXPECT_EQ(reopened.doubleForKey("hugeReal"), -2.5e300);
    EXPECT_EQ(reopened.stringForKey("unicode"), "Grüße ⌥⇧ — 日本");
    EXPECT_EQ(reopened.stringForKey("emptyString"), "");
    EXPECT_EQ(reopened.stringForKey("markup"), "<&>\"'");
    EXPECT_EQ(reopened.dataForKey("data"), QByteArray("\x00\x01\xff{json}", 9));
    EXPECT_EQ(reopened.dataForKey("emptyData"), QByteArray());
    EXPECT_EQ(reopened.objectForKey("date").toDateTime(), when);
    EXPECT_EQ(reopened.stringArrayForKey("strings"), (QStringList{"a", "b"}));
    EXPECT_EQ(reopened.stringArrayForKey("single"), QStringList{"only"}) << "a one-item list stays a list";
    EXPECT_EQ(reopened.objectForKey("emptyArray").typeId(), QMetaType::QVariantList);
    EXPECT_EQ(reopened.dictionaryForKey("nested"), nested);
    EXPECT_EQ(reopened.stringArrayForKey("exact"), exact);
    EXPECT_EQ(reopened.dictionaryForKey("exactKey"), (QVariantMap{{exact.first(), exact.last()}}));
    EXPECT_TRUE(UserDefaults::sameValue(reopened.objectForKey("dates"), dates));
    EXPECT_EQ(reopened.dictionaryRepresentation().size(), 20);
    EXPECT_EQ(QFile(path()).permissions() & (QFileDevice::ReadOther | QFileDevice::ReadGroup), 0);

    const QString python = QStandardPaths::findExecutable("python3");
    if (!python.isEmpty()) {
        QProcess plistlib;
        plistlib.start(python, {"-c", "import plistlib,sys; plistlib.load(open(sys.argv[1],'rb'))", path()});
        ASSERT_TRUE(plistlib.waitForFinished(30000));
        EXPECT_EQ(plistlib.exitCode(), 0) << plistlib.readAllStandardError().toStdString();
    }
}

TEST_F(PlistUserDefaultsTest, EveryWriteAndRemovalIsStoredAndAnnounced) {
    PlistUserDefaults defaults(path());
    QSignalSpy changed(&defaults, &UserDefaults::didChange);
    QList<QVariant> seenOnDisk;
    // Observers see the new value already persisted.
    QObject::connect(&defaults, &UserDefaults::didChange,
                     [&] { seenOnDisk.append(PlistUserDefaults(path()).objectForKey("k")); });
    defaults.setString("one", "k");
    defaults.setString("one", "k");  // same value: still a write
    defaults.setInteger(2, "k");
    defaults.removeObjectForKey("k");
    defaults.setObject(QVariant(), "other");  // invalid removes
    EXPECT_EQ(changed.count(), 5);
    EXPECT_EQ(seenOnDisk, (QList<QVariant>{"one", "one", qint64{2}, QVariant(), QVariant()}));
    EXPECT_FALSE(PlistUserDefaults(path()).contains("k"));
}

TEST_F(PlistUserDefaultsTest, TruncatedGarbageAndOddFilesAreMovedAsideNotLost) {
    {
        PlistUserDefaults defaults(path());
        defaults.setString("value", "recovery");
        defaults.setObject(QVariantList{1, 2, 3}, "list");
    }
    const QByteArray good = readFile(path());
    ASSERT_GT(good.size(), 100);

    expectRecovered(good.left(good.size() / 2));
    expectRecovered(good.left(good.indexOf("<key>list")));
    expectRecovered(QByteArray("\x89PNG\r\n\x1a\n garbage \xff\xfe", 18));
    expectRecovered(QByteArray());
    expectRecovered("<?xml version=\"1.0\"?><plist version=\"1.0\"><array><string>x</string></array></plist>");
    // Made by hand: read, it could never be written back (each '>' takes four bytes escaped).
    expectRecovered(xmlPlist("<key>k</key><string>" + QByteArray(1100000, '>') + "</string>"));
    EXPECT_EQ(asideFiles().size(), 6) << "each bad file keeps its own name";

    // Truncation at every point never crashes and never yields a partial store.
    for (int cut = 1; cut < good.size() - 10; cut += 9) {
        writeFile(good.left(cut));
        PlistUserDefaults defaults(path());
        const auto values = defaults.dictionaryRepresentation();
        EXPECT_TRUE(values.isEmpty() || values.size() == 2) << "cut at " << cut;
        QFile::remove(path());
    }
}

// The property-list library used to abort on a NUL in a key, on every launch.
TEST_F(PlistUserDefaultsTest, ABinaryFileWithANulKeyIsMovedAside) {
    BinaryPlist plist;
    plist.add(BinaryPlist::dict({1}, {2}));
    plist.add(BinaryPlist::asciiString(QByteArray(1, '\0')));
    plist.add(BinaryPlist::asciiString("x"));
    expectRecovered(plist.bytes());
}

// It used to parse this for seconds and then overflow the stack, on every launch.
TEST_F(PlistUserDefaultsTest, A200000DeepBinaryFileIsMovedAsideWithinASecond) {
    const QByteArray deep = BinaryPlist::deep(200000);
    writeFile(deep);
    const double start = threadCpuSeconds();
    PlistUserDefaults defaults(path());
    EXPECT_LT(threadCpuSeconds() - start, 1.0);
    EXPECT_TRUE(defaults.dictionaryRepresentation().isEmpty());
    EXPECT_EQ(readFile(defaults.movedAsidePath()), deep);
    defaults.setBool(true, "isPaused");
    EXPECT_TRUE(PlistUserDefaults(path()).boolForKey("isPaused"));
}

// One value that cannot be read (too deep, out of range) is absent; every other key loads, and the value
// stays in the file as it was, through restarts, until its own key is written.
TEST_F(PlistUserDefaultsTest, AnUnreadableValueLeavesTheOtherKeysAndTheFile) {
    const QList<QByteArray> rows{
        deepXmlArray(200000),
        deepXmlArray(300),
        "<dict><key>2026-01-14</key><integer>18446744073709551615</integer></dict>",
        "<integer>99999999999999999999999</integer>",
        // Raw characters XML cannot carry, as earlier writers left them in strings.
        "<string>Ada\x01</string>",
        QByteArray("<string>\0</string>", 18),
        "<array><string>\xef\xbf\xbe\xef\xbf\xbf</string></array>",
        // The same as character references.
        "<string>Ada&#1;</string>",
        "<string>&#x0;</string>",
        "<array><string>&#xFFFE;</string></array>",
    };
    for (const QByteArray& value : rows) {
        SCOPED_TRACE(value.left(80).toStdString());
        QFile::remove(path());
        writeFile(programFileWith("<key>odd</key>" + value));
        const double start = threadCpuSeconds();
        PlistUserDefaults defaults(path());
        EXPECT_LT(threadCpuSeconds() - start, 1.0);
        EXPECT_TRUE(defaults.movedAsidePath().isEmpty());
        EXPECT_FALSE(defaults.contains("odd"));
        EXPECT_EQ(defaults.unreadableKeys(), QStringList{"odd"});
        expectProgramValues(defaults);

        defaults.setBool(true, "isPaused");
        EXPECT_TRUE(readFile(path()).contains("<key>odd</key>\n\t" + value + "\n"));
        PlistUserDefaults next(path());
        EXPECT_TRUE(next.movedAsidePath().isEmpty());
        EXPECT_EQ(next.unreadableKeys(), QStringList{"odd"});
        EXPECT_TRUE(next.boolForKey("isPaused"));
        EXPECT_EQ(next.stringForKey("deviceId"), programValues().value("deviceId").toString());

        next.removeObjectForKey("odd");
        EXPECT_FALSE(readFile(path()).contains("<key>odd</key>"));
        EXPECT_TRUE(next.unreadableKeys().isEmpty());
    }
    EXPECT_TRUE(asideFiles().isEmpty());
}

// Another process's changes are seen while running, announced only when a value changed, and kept by the
// next write here, which merges into the file's latest contents key by key.
TEST_F(PlistUserDefaultsTest, ChangesByAnotherWriterAreSeenAndKept) {
    PlistUserDefaults defaults(path());
    defaults.setString("mine", "profileName");
    defaults.setBool(false, "isPaused");
    QSignalSpy changed(&defaults, &UserDefaults::didChange);
    auto otherWriter = [&](const QVariantMap& values, bool atomically, const QByteArray& extra = {}) {
        const QByteArray bytes = PlistXmlWriter::write(PlistDocument{values, {}, {}}).value() + extra;
        if (atomically) {
            QSaveFile file(path());
            ASSERT_TRUE(file.open(QIODevice::WriteOnly));
            file.write(bytes);
            ASSERT_TRUE(file.commit());
        } else {
            writeAll(path(), bytes);
        }
    };

    otherWriter({{"profileName", "mine"}, {"isPaused", true}}, true);
    ASSERT_TRUE(changed.wait(5000));
    EXPECT_TRUE(defaults.boolForKey("isPaused"));

    // The same values written again, in place: nothing to announce.
    otherWriter({{"profileName", "mine"}, {"isPaused", true}}, false, "<!-- same -->\n");
    QTest::qWait(500);
    EXPECT_EQ(changed.count(), 1);
    otherWriter({{"profileName", "theirs"}, {"isPaused", true}}, false);
    ASSERT_TRUE(changed.wait(5000));
    EXPECT_EQ(defaults.stringForKey("profileName"), "theirs");

    // A write here right after theirs, before any notice arrived, keeps their keys and removals.
    otherWriter({{"isPaused", true}, {"fromThem", 7}}, true);
    defaults.setBool(true, "launchAtLogin");
    PlistUserDefaults reopened(path());
    EXPECT_EQ(reopened.dictionaryRepresentation(),
              (QVariantMap{{"isPaused", true}, {"fromThem", qint64{7}}, {"launchAtLogin", true}}));
    EXPECT_FALSE(defaults.contains("profileName"));
}

// Writing a value equal to the stored one, or removing an absent key, is announced but leaves the file alone.
TEST_F(PlistUserDefaultsTest, WritesThatChangeNothingLeaveTheFileAlone) {
    PlistUserDefaults defaults(path());
    defaults.setObject(QVariantMap{{"a", QVariantList{1, "x"}}}, "map");
    defaults.setInteger(1, "n");
    defaults.setObject(std::numeric_limits<double>::quiet_NaN(), "nan");
    // Held open, the file's inode cannot be reused: once the file is replaced, it has no name left.
    QFile held(path());
    ASSERT_TRUE(held.open(QIODevice::ReadOnly));
    auto replaced = [&held] {
        struct stat info {};
        return ::fstat(held.handle(), &info) != 0 || info.st_nlink == 0;
    };
    QSignalSpy changed(&defaults, &UserDefaults::didChange);

    defaults.setObject(QVariantMap{{"a", QVariantList{qint64{1}, QStringLiteral("x")}}}, "map");
    defaults.setObject(QVariant::fromValue<qint64>(1), "n");
    defaults.setObject(std::numeric_limits<double>::quiet_NaN(), "nan");
    for (const char* key : {"SUSkippedVersion", "SUSkippedMinorVersion", "SUSkippedMajorVersion"}) {
        defaults.removeObjectForKey(key);
    }
    EXPECT_EQ(changed.count(), 6);
    EXPECT_FALSE(replaced());

    defaults.setObject(1.0, "n");  // another kind is another value
    EXPECT_TRUE(replaced());
    EXPECT_EQ(PlistUserDefaults(path()).objectForKey("n").typeId(), QMetaType::Double);
}

TEST_F(PlistUserDefaultsTest, ADirectoryInPlaceOfTheFileIsMovedAside) {
    QDir().mkpath(path());
    PlistUserDefaults defaults(path());
    EXPECT_FALSE(defaults.movedAsidePath().isEmpty());
    defaults.setBool(true, "ok");
    EXPECT_TRUE(PlistUserDefaults(path()).boolForKey("ok"));
}

TEST_F(PlistUserDefaultsTest, DefaultPathFollowsXdgConfigHome) {
    const QByteArray saved = qgetenv("XDG_CONFIG_HOME");
    qputenv("XDG_CONFIG_HOME", dir.path().toUtf8());
    EXPECT_EQ(PlistUserDefaults::defaultPath(), dir.path() + "/keyloom/defaults.plist");
    qputenv("XDG_CONFIG_HOME", "relative/ignored");
    EXPECT_EQ(PlistUserDefaults::defaultPath(), QDir::homePath() + "/.config/keyloom/defaults.plist");
    qunsetenv("XDG_CONFIG_HOME");
    EXPECT_EQ(PlistUserDefaults::defaultPath(), QDir::homePath() + "/.config/keyloom/defaults.plist");
    if (!saved.isNull()) {
        qputenv("XDG_CONFIG_HOME", saved);
    }
}

// A key with a raw control character costs only its own entry, which stays in the file as found.
TEST_F(PlistUserDefaultsTest, AnUnreadableKeyKeepsItsEntryAndCostsNothingElse) {
    const QByteArray entry("<key>name\0\x01</key>\n\t<string>Ada</string>", 39);
    writeFile(programFileWith(entry));
    PlistUserDefaults defaults(path());
    EXPECT_TRUE(defaults.movedAsidePath().isEmpty());
    EXPECT_EQ(defaults.dictionaryRepresentation().size(), programValues().size());
    expectProgramValues(defaults);

    defaults.setBool(true, "isPaused");
    EXPECT_TRUE(readFile(path()).contains("\t" + entry + "\n"));
    PlistUserDefaults next(path());
    EXPECT_TRUE(next.boolForKey("isPaused"));
    EXPECT_EQ(next.dictionaryRepresentation().size(), programValues().size());
}

TEST_F(PlistUserDefaultsTest, AFileOthersCanReadIsMadeOwnerOnlyWhenRead) {
    const QByteArray file = programFileWith("<key>odd</key><integer>1e9</integer>");  // read without a write
    writeFile(file);
    ASSERT_EQ(::chmod(QFile::encodeName(path()).constData(), 0644), 0);
    PlistUserDefaults defaults(path());
    struct stat info {};
    ASSERT_EQ(::stat(QFile::encodeName(path()).constData(), &info), 0);
    EXPECT_EQ(info.st_mode & 0777, 0600u);
    EXPECT_EQ(readFile(path()), file);
    expectProgramValues(defaults);
}

TEST(UserDefaultsTest, TypedReadsConvertLikeThePlatform) {
    UserDefaults defaults;
    defaults.setObject(QVariant(3.9), "real");
    defaults.setObject(QVariant(std::numeric_limits<double>::quiet_NaN()), "nan");
    defaults.setObject(QVariant(1e300), "huge");
    defaults.setString(" 42 ", "numericText");
    defaults.setString("YES", "yesText");
    defaults.setString("nope", "text");
    defaults.setInteger(7, "int");
    defaults.setBool(true, "bool");
    defaults.setObject(QVariantList{"a", 1}, "mixed");
    defaults.setObject(QVariantList{"a", "b"}, "strings");

    EXPECT_EQ(defaults.integerForKey("real"), 3);
    EXPECT_EQ(defaults.integerForKey("nan"), 0);
    EXPECT_EQ(defaults.integerForKey("huge"), std::numeric_limits<qint64>::max());
    EXPECT_EQ(defaults.integerForKey("numericText"), 42);
    EXPECT_EQ(defaults.integerForKey("bool"), 1);
    EXPECT_EQ(defaults.integerForKey("missing"), 0);
    EXPECT_DOUBLE_EQ(defaults.doubleForKey("numericText"), 42.0);
    EXPECT_TRUE(defaults.boolForKey("yesText"));
    EXPECT_TRUE(defaults.boolForKey("int"));
    EXPECT_TRUE(defaults.boolForKey("numericText"));
    EXPECT_FALSE(defaults.boolForKey("text"));
    EXPECT_FALSE(defaults.boolForKey("missing"));
    EXPECT_EQ(defaults.stringForKey("int"), "7");
    EXPECT_EQ(defaults.stringForKey("bool"), std::nullopt);
    EXPECT_EQ(defaults.stringForKey("missing"), std::nullopt);
    EXPECT_EQ(defaults.dataForKey("text"), std::nullopt);
    EXPECT_EQ(defaults.stringArrayForKey("mixed"), std::nullopt);
    EXPECT_EQ(defaults.stringArrayForKey("strings"), (QStringList{"a", "b"}));
    EXPECT_EQ(defaults.stringArrayForKey("text"), std::nullopt);
    EXPECT_EQ(defaults.dictionaryForKey("strings"), std::nullopt);
}

}  // namespace
