#include <gtest/gtest.h>

#include <QDateTime>
#include <limits>

#include "PlistSamples.h"
#include "platform/UserDefaults.h"
#include "platform/qt/PlistXmlReader.h"
#include "platform/qt/PlistXmlWriter.h"

namespace {

// Reads a file holding "keep" (a string) and "v" with the given value markup.
std::optional<PlistDocument> readWithValue(const QByteArray& value) {
    return PlistXmlReader::read(xmlPlist("<key>keep</key><string>kept</string>\n<key>v</key>" + value));
}

QByteArray manyAttributes(int count) {
    QByteArray out;
    for (int i = 0; i < count; ++i) {
        out += " a" + QByteArray::number(i) + "=\"\"";
    }
    return out;
}

}  // namespace

// Every kind reads as itself; a value that cannot be read is absent, kept as text, and leaves the other key.
TEST(PlistXmlReader, EachValueReadsOrIsKeptAsUnreadableText) {
    constexpr qint64 min = std::numeric_limits<qint64>::min();
    constexpr qint64 max = std::numeric_limits<qint64>::max();
    const QByteArray deepest = deepXmlArray(PlistDocument::maxDepth);
    struct Row {
        QByteArray markup;
        QVariant expected;  // invalid: unreadable
    };
    const QList<Row> rows{
        {"<integer>9223372036854775807</integer>", QVariant(max)},
        {"<integer> -9223372036854775808 </integer>", QVariant(min)},
        {"<integer>+42</integer>", QVariant(qint64{42})},
        {"<integer>0x1F</integer>", QVariant(qint64{31})},
        {"<integer>9223372036854775808</integer>", {}},
        {"<integer>18446744073709551615</integer>", {}},
        {"<integer>99999999999999999999999</integer>", {}},
        {"<integer>-9223372036854775809</integer>", {}},
        {"<integer>0x10000000000000000</integer>", {}},
        {"<integer>12abc</integer>", {}},
        {"<integer>1.5</integer>", {}},
        {"<integer/>", {}},
        {"<integer>" + QByteArray(62, '0') + "42</integer>", QVariant(qint64{42})},
        {"<integer>" + QByteArray(63, '0') + "42</integer>", {}},
        {"<real>" + QByteArray(62, '0') + ".5</real>", QVariant(0.5)},
        {"<real>" + QByteArray(63, '0') + ".5</real>", {}},
        {"<real>-2.5e300</real>", QVariant(-2.5e300)},
        {"<real>+infinity</real>", QVariant(std::numeric_limits<double>::infinity())},
        {"<real>1e999</real>", {}},
        {"<real>one</real>", {}},
        {"<true/>", QVariant(true)},
        {"<false></false>", QVariant(false)},
        {"<true>no</true>", {}},
        {"<string>a &lt;&amp;&gt; <![CDATA[<b>]]>&#x1F600;</string>", QVariant(QStringLiteral("a <&> <b>😀"))},
        {"<string>x<!-- note -->y</string>", QVariant(QStringLiteral("xy"))},
        {"<string><b/></string>", {}},
        {"<string>\x7f\xc2\x85\xe2\x80\xa8\xef\xb7\x90</string>", QVariant(QStringLiteral("\u007f\u0085\u2028\uFDD0"))},
        {"<string>Ada\x01</string>", {}},
        {QByteArray("<string>\0</string>", 18), {}},
        {"<string>\xef\xbf\xbe</string>", {}},
        {"<array><string>\xef\xbf\xbf</string></array>", {}},
        {"<dict><key>\x1f</key><true/></dict>", {}},
        // The same characters as references, and references no reader can decode.
        {"<string>Ada&#1;</string>", {}},
        {"<string>&#x0;</string>", {}},
        {"<array><string>&#xFFFE;</string></array>", {}},
        {"<dict><key>&#31;</key><true/></dict>", {}},
        {"<string>&#xD800;&#xDE00;</string>", {}},
        {"<string>&#99999999999999999999999;</string>", {}},
        {"<string>&#X41;</string>", {}},
        {"<string>&#x10FFFF;&#0000000000000000000000065;</string>", QVariant(QStringLiteral("\U0010FFFFA"))},
        {"<string><![CDATA[&#1;]]><!-- &#0; -->&amp;#2;</string>", QVariant(QStringLiteral("&#1;&#2;"))},
        {"<data> AAH/\n e2pz </data>", QVariant(QByteArray("\x00\x01\xff{js", 6))},
        {"<data>@@@@</data>", {}},
        {"<date>2025-03-09T14:30:05Z</date>", QVariant(QDateTime(QDate(2025, 3, 9), QTime(14, 30, 5), Qt::UTC))},
        {"<date>0001-01-01T00:00:00Z</date>", QVariant(QDateTime(QDate(1, 1, 1), QTime(0, 0), Qt::UTC))},
        {"<date>yesterday</date>", {}},
        {"<date>2025-03-09T14:30:05.250Z</date>", {}},
        {"<date>2025-03-09T14:30:05+02:00</date>", {}},
        {"<date>2025-03-09</date>", {}},
        {"<date>0000-01-01T00:00:00Z</date>", {}},
        {"<uid>1</uid>", {}},
        {"<array><key>x</key></array>", {}},
        {"<array>text</array>", {}},
        {"<dict><string>no key</string></dict>", {}},
        {"<dict><key>a</key></dict>", {}},
        {"<dict><key>a</key><key>b</key><true/></dict>", {}},
        {"<dict><key>a</key><true/><key>a</key><false/></dict>", QVariant(QVariantMap{{"a", false}})},
        {"<array><integer>1</integer><integer>18446744073709551615</integer></array>", {}},
        {deepest,
         [&] {
             QVariant v = QVariantList{};
             for (int i = 1; i < PlistDocument::maxDepth; ++i)
                 v = QVariantList{v};
             return v;
         }()},
        {"<array>" + deepest + "</array>", {}},
        {deepXmlArray(300), {}},
        {"<array" + manyAttributes(1000) + "/>", {}},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.markup.left(120).toStdString());
        const auto document = readWithValue(row.markup);
        ASSERT_TRUE(document.has_value());
        EXPECT_EQ(document->values.value("keep"), QVariant("kept"));
        if (row.expected.isValid()) {
            EXPECT_TRUE(UserDefaults::sameValue(document->values.value("v"), row.expected))
                << document->values.value("v").toString().toStdString();
            EXPECT_TRUE(document->unreadable.isEmpty());
        } else {
            EXPECT_FALSE(document->values.contains("v"));
            EXPECT_EQ(document->unreadable.value("v").toUtf8(), row.markup);
        }
    }
}

// What is not a property list with a dictionary at its root is not read at all.
TEST(PlistXmlReader, WhatIsNoDictionaryDocumentIsNotReadAtAll) {
    const QByteArray good = xmlPlist("<key>a</key><string>b</string>");
    ASSERT_TRUE(PlistXmlReader::read(good).has_value());
    ASSERT_TRUE(PlistXmlReader::read("\xEF\xBB\xBF<dict><key>a</key><true/></dict>").has_value());
    const QList<QByteArray> rows{
        QByteArray(),
        good.left(good.size() - 12),
        good + "<extra/>",
        QByteArray(good).replace("<string>b", "<string>\xff"),
        QByteArray(good).replace("<string>b", "<string>&#;"),
        QByteArray(good).replace("<key>a</key>", "<key>a</kex>"),
        xmlPlist("").replace("<dict>\n", "<array>").replace("</dict>", "</array>"),
        "<plist><dict/><dict/></plist>",
        "<!DOCTYPE plist [<!ENTITY e \"<array>\">]><plist><dict/></plist>",
        "<plist" + manyAttributes(100000) + "><dict/></plist>",
        BinaryPlist::deep(3),
        QByteArray(PlistDocument::maxFileSize + 1, ' '),
    };
    for (const QByteArray& bytes : rows) {
        SCOPED_TRACE(bytes.left(100).toStdString());
        const double start = threadCpuSeconds();
        EXPECT_FALSE(PlistXmlReader::read(bytes).has_value());
        EXPECT_LT(threadCpuSeconds() - start, 1.0);
    }
}

// The unreadable value's text comes back as it was, wherever it sits and whatever precedes it.
TEST(PlistXmlReader, UnreadableTextRoundTripsThroughTheWriter) {
    const QByteArray odd = "<array><string>😀 \xe2\x8c\x98</string>\r\n<integer>18446744073709551615</integer></array>";
    const QByteArray file = xmlPlist("<key>before</key>\r\n<string>😀\r\n</string>\r\n<key>odd</key>\r\n" + odd +
                                     "<key>z</key><integer>1</integer>");
    const auto document = PlistXmlReader::read(file);
    ASSERT_TRUE(document.has_value());
    EXPECT_EQ(document->unreadable.value("odd").toUtf8(), odd);
    EXPECT_EQ(document->values.value("before"), QVariant(QStringLiteral("😀\n")));

    PlistDocument written = *document;
    written.values.insert("added", QVariantMap{{"strings", QStringList{"x\ry", "\r\n"}}});
    const auto reread = PlistXmlReader::read(PlistXmlWriter::write(written).value_or(""));
    ASSERT_TRUE(reread.has_value());
    EXPECT_EQ(reread->unreadable, document->unreadable);
    EXPECT_EQ(reread->values.value("added").toMap().value("strings").toStringList(), (QStringList{"x\ry", "\r\n"}))
        << "carriage returns survive";
    EXPECT_EQ(reread->values.size(), 3);
}

// Number text of millions of digits is unreadable at once: it costs no more than a string as long.
TEST(PlistXmlReader, HugeNumberTextCostsNoMoreThanText) {
    const QByteArray digits(4000000, '7');
    auto secondsToRead = [](const QByteArray& value) {
        const double start = threadCpuSeconds();
        const auto document = readWithValue(value);
        const double seconds = threadCpuSeconds() - start;
        EXPECT_EQ(document->values.value("keep"), QVariant("kept"));
        return seconds;
    };
    const double text = secondsToRead("<string>" + digits + "</string>");
    for (const QByteArray& number : {"<real>" + digits + "</real>", "<integer>" + digits + "</integer>"}) {
        EXPECT_LT(secondsToRead(number), 2 * text + 0.01) << number.left(10).toStdString();
    }
}
