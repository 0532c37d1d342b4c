// Seeded mutation fuzz of the defaults loader: files the program writes (and their binary equivalents),
// damaged at random and on purpose, must load or be moved aside, never crash, never take a second, and be
// moved aside only when they cannot be read at all.

#include <gtest/gtest.h>

#include <QDir>
#include <QLoggingCategory>
#include <QRegularExpression>
#include <QStringDecoder>
#include <QTemporaryDir>
#include <QXmlStreamReader>
#include <iostream>
#include <random>

#include "PlistSamples.h"
#include "platform/qt/PlistMarkupGuard.h"
#include "platform/qt/PlistUserDefaults.h"
#include "platform/qt/PlistXmlReader.h"
#include "platform/qt/PlistXmlWriter.h"

namespace {

constexpr quint64 kSeed = 20260115;
// Every this many cases also goes through the real file and a write.
constexpr int kThroughFileEvery = 50;

// Defaults files as the program writes them: its own keys, and every kind the format holds.
QList<QByteArray> xmlSeeds() {
    QTemporaryDir dir;
    const QString path = dir.filePath("defaults.plist");
    QVariantMap more{
        {"nested", QVariantMap{{"list", QVariantList{1, "two", QVariantMap{{"deep", QVariantList{true, 2.5}}}}},
                               {"empty", QVariantMap{}},
                               {"none", QVariantList{}}}},
        {"text", QStringLiteral("<&>\"' \t\n — 日本 😀")},
        {"", QStringLiteral("empty key")},
        {"negative", qint64{-9223372036854775807 - 1}},
        {"reals", QVariantList{0.1, -0.0, 1e300, std::numeric_limits<double>::infinity()}},
        {"blob", QByteArray(300, '\xA5')},
    };
    QList<QByteArray> seeds;
    for (const QVariantMap& values : {programValues(), more}) {
        QFile::remove(path);
        PlistUserDefaults defaults(path);
        for (auto it = values.cbegin(); it != values.cend(); ++it) {
            defaults.setObject(it.value(), it.key());
        }
        seeds.append(readAll(path));
    }
    return seeds;
}

// Whether a document type declaration has an internal subset: a '[' outside its quoted literals.
bool hasInternalSubset(QStringView declaration) {
    QChar quote;
    for (const QChar c : declaration) {
        if (!quote.isNull()) {
            quote = c == quote ? QChar() : quote;
        } else if (c == u'"' || c == u'\'') {
            quote = c;
        } else if (c == u'[') {
            return true;
        }
    }
    return false;
}

// A plain look at the bytes, apart from the loader: UTF-8, well-formed XML whose root is a dictionary
// (alone or in a property-list wrapper), within the documented limits (markup counted roughly). Characters
// XML cannot carry, raw or as references, cost only what holds them, so they stand for a name character here.
bool readableAtAll(const QByteArray& bytes) {
    if (bytes.size() > PlistDocument::maxFileSize) {
        return false;
    }
    QStringDecoder decoder(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
    QString text = decoder.decode(bytes);
    if (decoder.hasError()) {
        return false;
    }
    for (QChar& c : text) {
        const char16_t u = c.unicode();
        if ((u < 0x20 && u != u'\t' && u != u'\n' && u != u'\r') || u == 0xFFFE || u == 0xFFFF) {
            c = u'_';
        }
    }
    static const QRegularExpression reference(QStringLiteral("&#([0-9A-Za-z]+);"));
    static const QRegularExpression number(QStringLiteral("^([0-9]+|x[0-9A-Fa-f]+)$"));
    for (const QRegularExpressionMatch& m : reference.globalMatch(text)) {
        const QString name = m.captured(1);
        bool ok = false;
        const uint value = name.startsWith(u'x') ? name.mid(1).toUInt(&ok, 16) : name.toUInt(&ok);
        const bool xmlChar = value == 9 || value == 10 || value == 13 || (value >= 0x20 && value < 0xD800) ||
                             (value >= 0xE000 && value < 0xFFFE) || (value >= 0x10000 && value < 0x110000);
        if (!number.match(name).hasMatch() || !ok || !xmlChar) {
            text[m.capturedStart()] = u'_';
        }
    }
    QXmlStreamReader xml(text);
    xml.setNamespaceProcessing(false);
    qsizetype depth = 0;
    qsizetype cutDepth = -1;  // elements the loader need not look into: too deep, too many attributes
    QString root;
    int rootChildren = 0;
    qsizetype markup = 0;
    while (!xml.atEnd()) {
        switch (xml.readNext()) {
            case QXmlStreamReader::DTD:
                if (hasInternalSubset(xml.text())) {
                    return false;
                }
                break;
            case QXmlStreamReader::StartElement:
                if (depth == 0) {
                    root = xml.name().toString();
                } else if (depth == 1 && root == u"plist" && (++rootChildren > 1 || xml.name() != u"dict")) {
                    return false;
                }
                if (cutDepth < 0) {
                    ++markup;
                    if (depth >= PlistMarkupGuard::maxElementDepth ||
                        xml.attributes().size() > PlistMarkupGuard::maxAttributes) {
                        cutDepth = depth;
                    }
                }
                ++depth;
                break;
            case QXmlStreamReader::EndElement:
                --depth;
                if (cutDepth == depth) {
                    cutDepth = -1;
                }
                break;
            case QXmlStreamReader::Comment:
            case QXmlStreamReader::ProcessingInstruction:
            case QXmlStreamReader::EntityReference:
                markup += cutDepth < 0 ? 1 : 0;
                break;
            default:
                break;
        }
    }
    return !xml.hasError() && (root == u"dict" || (root == u"plist" && rootChildren == 1)) &&
           markup <= PlistMarkupGuard::maxMarkup;
}

struct Tally {
    int cases = 0;
    int movedAside = 0;
    int withUnreadableKeys = 0;
    double maxSeconds = 0;
    double totalSeconds = 0;

    ~Tally() {
        std::cout << "[fuzz] " << cases << " files, " << movedAside << " unreadable at all, " << withUnreadableKeys
                  << " with unreadable keys; slowest load " << maxSeconds * 1000 << " ms, all loads " << totalSeconds
                  << " s" << std::endl;
    }
};

class Fuzzer {
public:
    explicit Fuzzer(quint64 seed) : m_random(seed) {}

    int below(int n) { return int(m_random() % quint64(n)); }

    QByteArray mutate(QByteArray bytes, const QList<QByteArray>& others) {
        static const QList<QByteArray> tokens{"<array>",
                                              "</array>",
                                              "<dict>",
                                              "</dict>",
                                              "<key>",
                                              "</key>",
                                              "<string>",
                                              "</string>",
                                              "<integer>",
                                              "</integer>",
                                              "<true/>",
                                              "<data>",
                                              "<_/>",
                                              "&#0;",
                                              "&amp;",
                                              "&",
                                              "&e;",
                                              "<![CDATA[",
                                              "]]>",
                                              "<!--",
                                              "-->",
                                              "<?x?>",
                                              QByteArray(1, '\0'),
                                              QByteArray("k\0y", 3),
                                              "\xff\xfe",
                                              "\xc0\x80",
                                              "\xF0\x9F\x98\x80",
                                              "\r\n",
                                              "9223372036854775808",
                                              "-9223372036854775809",
                                              "18446744073709551615",
                                              "99999999999999999999999",
                                              "0x",
                                              "<!DOCTYPE plist [",
                                              " a=\"1\"",
                                              "<plist>",
                                              "</plist>",
                                              "bplist00",
                                              "\x13\x7f\xff\xff\xff\xff\xff\xff\xff"};
        const int edits = 1 + below(3);
        for (int e = 0; e < edits && !bytes.isEmpty(); ++e) {
            const qsizetype at = qsizetype(m_random() % quint64(bytes.size()));
            const qsizetype span = 1 + below(64);
            switch (below(10)) {
                case 0:
                    bytes[at] = char(bytes[at] ^ (1 << below(8)));
                    break;
                case 1:
                    bytes[at] = char(below(256));
                    break;
                case 2:
                case 3:
                case 4:
                    bytes.insert(at, tokens[below(int(tokens.size()))]);
                    break;
                case 5:
                    bytes.remove(at, span);
                    break;
                case 6:
                case 7:
                    bytes.insert(at, bytes.mid(qsizetype(m_random() % quint64(bytes.size())), span));
                    break;
                case 8:
                    bytes.truncate(at);
                    break;
                default: {
                    const QByteArray& other = others[below(int(others.size()))];
                    bytes.replace(at, span, other.mid(qsizetype(m_random() % quint64(other.size())), span));
                }
            }
        }
        return bytes;
    }

    // A value no reader can take, as it would sit under a key of a well-formed file.
    QByteArray hostileValue() {
        static const QList<QByteArray> values{"<integer>9223372036854775808</integer>",
                                              "<integer>-9223372036854775809</integer>",
                                              "<integer>18446744073709551615</integer>",
                                              "<integer>99999999999999999999999</integer>",
                                              "<integer>0x1ffffffffffffffff</integer>",
                                              "<integer>12e3</integer>",
                                              "<integer/>",
                                              "<real>1e400</real>",
                                              "<data>not base64!</data>",
                                              "<date>2026-13-45T99:00:00Z</date>",
                                              "<uid>1</uid>",
                                              "<string><b/></string>",
                                              "<dict><key>a</key></dict>",
                                              "<dict><true/></dict>",
                                              "<array><key>k</key></array>",
                                              "<string>&e;</string>",
                                              "<string>a&#1;</string>",
                                              "<array><string>&#xFFFE;</string></array>",
                                              "<array>text<true/></array>",
                                              "<true>yes</true>"};
        switch (below(4)) {
            case 0: {
                // Nesting around the limit, well past it, and (rarely) 200,000 deep.
                static const QList<int> depths{PlistDocument::maxDepth + 1, PlistDocument::maxDepth + 2, 300, 1000};
                if (below(1000) == 0) {
                    return deepXmlArray(200000);
                }
                const int depth = depths[below(int(depths.size()))];
                const QByteArray open = below(2) ? "<array>" : "<dict><key>k</key><array>";
                const QByteArray close = open == "<array>" ? "</array>" : "</array></dict>";
                return open.repeated(depth) + close.repeated(depth);
            }
            case 1: {
                QByteArray tag = "<array";
                for (int i = 0, n = 33 + below(200); i < n; ++i) {
                    tag += " a" + QByteArray::number(i) + "=\"\"";
                }
                return tag + "><true/></array>";
            }
            default:
                return values[below(int(values.size()))];
        }
    }

private:
    std::mt19937_64 m_random;
};

// Loads `bytes` from memory and, now and then, through the real file; checks the loader's promises.
void load(const QByteArray& bytes, int index, Tally& tally, QTemporaryDir& dir,
          std::optional<PlistDocument>* loaded = nullptr) {
    SCOPED_TRACE("case " + std::to_string(index) + ": " + bytes.left(4096).toBase64().toStdString());
    const double start = threadCpuSeconds();
    const auto document = PlistXmlReader::read(bytes);
    const double seconds = threadCpuSeconds() - start;
    if (loaded) {
        *loaded = document;
    }
    ++tally.cases;
    tally.totalSeconds += seconds;
    tally.maxSeconds = std::max(tally.maxSeconds, seconds);
    ASSERT_LT(seconds, 1.0);
    ASSERT_EQ(document.has_value(), readableAtAll(bytes)) << "moved aside only what cannot be read at all";
    if (document) {
        // Whatever is read writes back, and reads back the same.
        const auto written = PlistXmlWriter::write(*document);
        ASSERT_TRUE(written.has_value());
        const auto reread = PlistXmlReader::read(*written);
        ASSERT_TRUE(reread.has_value());
        ASSERT_TRUE(UserDefaults::sameValue(reread->values, document->values));
        ASSERT_EQ(reread->unreadable, document->unreadable);
        ASSERT_EQ(reread->unreadableEntries, document->unreadableEntries);
    }
    if (!document) {
        ++tally.movedAside;
    } else if (!document->unreadable.isEmpty()) {
        ++tally.withUnreadableKeys;
        const QString text = QString::fromUtf8(bytes);
        for (const QString& raw : document->unreadable) {
            ASSERT_TRUE(text.contains(raw)) << "an unreadable value is kept as it came";
        }
    }
    if (index % kThroughFileEvery != 0) {
        return;
    }
    // Through the file: moved aside exactly when unreadable, read without writing, and a write keeps what
    // could not be read.
    const QString path = dir.filePath("defaults.plist");
    QFile::remove(path);
    writeAll(path, bytes);
    PlistUserDefaults defaults(path);
    ASSERT_EQ(defaults.movedAsidePath().isEmpty(), document.has_value());
    if (!document) {
        QFile::remove(defaults.movedAsidePath());
        return;
    }
    ASSERT_EQ(readAll(path), bytes);
    ASSERT_TRUE(UserDefaults::sameValue(defaults.dictionaryRepresentation(), document->values));
    defaults.setString("written", "fuzz");
    PlistUserDefaults reopened(path);
    ASSERT_TRUE(reopened.movedAsidePath().isEmpty());
    ASSERT_EQ(reopened.unreadableKeys(), QStringList(document->unreadable.keys()));
    QVariantMap expected = document->values;
    expected.insert("fuzz", "written");
    ASSERT_TRUE(UserDefaults::sameValue(reopened.dictionaryRepresentation(), expected));
}

class PlistLoaderFuzz : public ::testing::Test {
protected:
    // Every file with an unreadable value would log it.
    PlistLoaderFuzz() { QLoggingCategory::setFilterRules(QStringLiteral("keyloom.defaults.warning=false")); }
    ~PlistLoaderFuzz() override { QLoggingCategory::setFilterRules(QString()); }

    QTemporaryDir dir;
    Tally tally;
};

}  // namespace

TEST_F(PlistLoaderFuzz, MutatedXmlFiles) {
    const QList<QByteArray> seeds = xmlSeeds();
    Fuzzer fuzzer(kSeed);
    for (int i = 0; i < 70000 && !HasFatalFailure(); ++i) {
        load(fuzzer.mutate(seeds[i % seeds.size()], seeds), i, tally, dir);
    }
}

TEST_F(PlistLoaderFuzz, MutatedBinaryFiles) {
    QList<QByteArray> seeds;
    for (const QByteArray& xml : xmlSeeds()) {
        BinaryPlist binary;
        const quint32 top = binary.addValue(PlistXmlReader::read(xml)->values);
        seeds.append(binary.bytes(top));
    }
    Fuzzer fuzzer(kSeed + 1);
    for (int i = 0; i < 30000 && !HasFatalFailure(); ++i) {
        load(fuzzer.mutate(seeds[i % seeds.size()], seeds), i, tally, dir);
    }
    EXPECT_EQ(tally.movedAside, tally.cases);
}

// Well-formed files with one hostile value: that key is unreadable or absent, every other key loads.
TEST_F(PlistLoaderFuzz, HostileValuesInWellFormedFiles) {
    const QByteArray seed = xmlSeeds().first();
    const QVariantMap values = PlistXmlReader::read(seed)->values;
    const QStringList keys = values.keys();
    Fuzzer fuzzer(kSeed + 2);
    for (int i = 0; i < 10000 && !HasFatalFailure(); ++i) {
        const QString key = keys[fuzzer.below(int(keys.size()))];
        const QByteArray value = fuzzer.hostileValue();
        const QByteArray entry = "<key>" + key.toUtf8() + "</key>";
        QByteArray file = seed;
        const qsizetype at = file.indexOf(entry) + entry.size();
        const qsizetype end =
            file.indexOf("\n\t<key>", at) < 0 ? file.indexOf("\n</dict>\n</plist>", at) : file.indexOf("\n\t<key>", at);
        file.replace(at, end - at, "\n\t" + value);
        std::optional<PlistDocument> document;
        load(file, i, tally, dir, &document);
        ASSERT_TRUE(document.has_value());
        EXPECT_EQ(document->unreadable.value(key).toUtf8(), value);
        QVariantMap others = values;
        others.remove(key);
        EXPECT_TRUE(UserDefaults::sameValue(document->values, others));
    }
    EXPECT_EQ(tally.movedAside, 0);
}
