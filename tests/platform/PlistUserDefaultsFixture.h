#pragma once

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include "PlistSamples.h"
#include "platform/qt/PlistUserDefaults.h"

// A settings file in a temporary folder of its own, and the ways tests make and inspect it.
class PlistUserDefaultsFixture : public ::testing::Test {
protected:
    QString path() const { return dir.filePath("keyloom/defaults.plist"); }

    void writeFile(const QByteArray& bytes) const {
        QDir().mkpath(dir.filePath("keyloom"));
        QFile file(path());
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(bytes);
    }

    QByteArray readFile(const QString& name) const {
        QFile file(name);
        return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
    }

    void expectProgramValues(const UserDefaults& defaults) const {
        const QVariantMap expected = programValues();
        for (auto it = expected.cbegin(); it != expected.cend(); ++it) {
            EXPECT_TRUE(UserDefaults::sameValue(defaults.objectForKey(it.key()), it.value())) << it.key().toStdString();
        }
    }

    // A file as the program writes it, with `entry` ("<key>…</key><value>") put first into its dictionary.
    QByteArray programFileWith(const QByteArray& entry) {
        {
            PlistUserDefaults defaults(path());
            const QVariantMap values = programValues();
            for (auto it = values.cbegin(); it != values.cend(); ++it) {
                defaults.setObject(it.value(), it.key());
            }
        }
        QByteArray file = readFile(path());
        return file.insert(file.indexOf("<dict>\n") + 7, "\t" + entry + "\n");
    }

    QStringList asideFiles() const {
        return QDir(dir.filePath("keyloom")).entryList({"defaults.plist.corrupt-*"}, QDir::Files | QDir::Dirs);
    }

    // A bad file is moved aside with its bytes intact, the store starts empty, and the next write works.
    void expectRecovered(const QByteArray& bad) {
        writeFile(bad);
        {
            PlistUserDefaults defaults(path());
            EXPECT_TRUE(defaults.dictionaryRepresentation().isEmpty());
            ASSERT_FALSE(defaults.movedAsidePath().isEmpty());
            EXPECT_EQ(readFile(defaults.movedAsidePath()), bad);
            EXPECT_FALSE(QFile::exists(path()));
            defaults.setString("written", "after");
        }
        PlistUserDefaults reopened(path());
        EXPECT_EQ(reopened.dictionaryRepresentation().keys(), QStringList{"after"});
        EXPECT_EQ(reopened.stringForKey("after"), "written");
        EXPECT_TRUE(reopened.movedAsidePath().isEmpty());
    }

    QTemporaryDir dir;
};
