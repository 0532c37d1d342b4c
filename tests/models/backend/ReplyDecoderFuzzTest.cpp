#include <gtest/gtest.h>

#include <QElapsedTimer>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <array>
#include <cstdio>
#include <random>

#include "models/BackendRecords.h"
#include "models/JsonDecodingError.h"

// Seeded random mutation of valid replies, fed to every reply decoder. A decoder may only return a
// record or throw JsonDecodingError; anything else (another exception, a crash, a sanitizer report)
// is a fault. KEYLOOM_FUZZ_ITERATIONS and KEYLOOM_FUZZ_SEED override the defaults.

namespace {

const char* const kSeeds[] = {
    R"({"install_id":"I-1","install_secret":"s3cr3t","is_new":true})",
    R"({"version":7,"shortcuts":[{"id":"ps-v","category":"Paste Special","name":"Values","description":"d",)"
    R"("windows_keys":["Alt","E","S","V"],"mac_keys":["⌃⌘V"]},{"id":"f","category":"FORMATTING","name":"B",)"
    R"("description":"","windows_keys":[],"mac_keys":["Format","Cells…"]}]})",
    R"({"features":[{"key":"a","value":"1"},{"key":"b","value":""}]})",
    R"({"issue_id":"ISS-1","status":"pending","excel_file":"ax.txt","log_file":"log.txt",)"
    R"("excel_upload_url":"https://u.example/a?x=1","log_upload_url":"https://u.example/l","expires_in_minutes":15})",
    R"({"issue_id":"ISS-1","status":"uploaded"})",
    R"({"install_id":"I-1","name":"Ann","email":null})",
};

// Fragments spliced into the text: JSON punctuation, edge numbers, odd strings, broken UTF-8.
const QList<QByteArray> kTokens =
    QByteArray(
        "null true false 0 -0 1 -1 1.5 2.0 1e19 1e400 9223372036854775807 9223372036854775808 \"\" \"15\" "
        "\"\\ud800\" [ ] { } , : \" \\ [] {} _ __ \xff \xc3")
        .split(' ');

class Mutator {
public:
    explicit Mutator(std::uint64_t seed) : m_rng(seed) {}

    QByteArray next() {
        const std::size_t which = pick(m_seeds.size());
        QByteArray input = (pick(2) == 0) ? mutateTree(m_seedObjects[which]) : m_seeds[which];
        for (int rounds = 1 + static_cast<int>(pick(3)); rounds > 0 && pick(3) != 0; --rounds) {
            input = mutateBytes(input);
        }
        return input;
    }

private:
    std::size_t pick(std::size_t bound) { return std::uniform_int_distribution<std::size_t>(0, bound - 1)(m_rng); }
    qsizetype position(const QByteArray& data) { return static_cast<qsizetype>(pick(data.size() + 1)); }

    QByteArray mutateBytes(QByteArray data) {
        if (data.isEmpty()) {
            return kTokens[pick(kTokens.size())];
        }
        const qsizetype at = position(data) % data.size();
        switch (pick(7)) {
            case 0:
                data[at] = static_cast<char>(data.at(at) ^ static_cast<char>(1 << pick(8)));
                break;
            case 1:
                data[at] = static_cast<char>(pick(256));
                break;
            case 2:
                data.remove(at, 1 + static_cast<qsizetype>(pick(8)));
                break;
            case 3:
                data.insert(at, kTokens[pick(kTokens.size())]);
                break;
            case 4:
                data.insert(position(data), data.mid(at, 1 + static_cast<qsizetype>(pick(16))));
                break;
            case 5:
                data.truncate(at);
                break;
            default:
                data.insert(at, m_seeds[pick(m_seeds.size())].mid(at));
                break;
        }
        return data;
    }

    QJsonValue randomValue(int depth) {
        static const QJsonValue kScalars[] = {
            QJsonValue::Null, true, 1.5, 2.0, 1e19, QStringLiteral("15"), QString(), QString(QChar(0xD800))};
        const std::size_t choice = pick(std::size(kScalars) + (depth > 3 ? 1 : 3));
        if (choice < std::size(kScalars)) {
            return kScalars[choice];
        }
        switch (choice - std::size(kScalars)) {
            case 0:
                return QJsonValue(static_cast<qint64>(m_rng()));
            case 1:
                return QJsonArray{randomValue(depth + 1), randomValue(depth + 1)};
            default:
                return QJsonObject{{QStringLiteral("key"), randomValue(depth + 1)}};
        }
    }

    QString respell(const QString& key) {
        switch (pick(5)) {
            case 0:
                return key.toUpper();
            case 1:
                return QLatin1Char('_') + key;
            case 2:
                return JsonCoding::convertFromSnakeCase(key);
            case 3:
                return key + QStringLiteral("__");
            default:
                return QString(key).replace(QLatin1Char('_'), QStringLiteral("__"));
        }
    }

    // Changes one member somewhere in the tree: a new value, a dropped or respelled key, a copied element.
    QJsonValue mutateValue(const QJsonValue& value, int depth) {
        if (value.isObject() && !value.toObject().isEmpty() && pick(4) != 0) {
            QJsonObject object = value.toObject();
            const QString key = object.keys().at(static_cast<qsizetype>(pick(object.size())));
            switch (pick(4)) {
                case 0:
                    object.remove(key);
                    break;
                case 1:
                    object.insert(respell(key), object.take(key));
                    break;
                case 2:
                    object.insert(respell(key), randomValue(depth));
                    break;
                default:
                    object.insert(key, mutateValue(object.value(key), depth + 1));
                    break;
            }
            return object;
        }
        if (value.isArray() && !value.toArray().isEmpty() && pick(4) != 0) {
            QJsonArray array = value.toArray();
            const auto index = static_cast<qsizetype>(pick(array.size()));
            switch (pick(3)) {
                case 0:
                    array.append(array.at(index));
                    break;
                case 1:
                    array.removeAt(index);
                    break;
                default:
                    array.replace(index, mutateValue(array.at(index), depth + 1));
                    break;
            }
            return array;
        }
        return randomValue(depth);
    }

    QByteArray mutateTree(const QJsonObject& seed) {
        const QJsonValue root = mutateValue(seed, 0);
        return root.isObject() ? QJsonDocument(root.toObject()).toJson(QJsonDocument::Compact)
                               : QJsonDocument(QJsonArray{root}).toJson(QJsonDocument::Compact);
    }

    std::mt19937_64 m_rng;
    QList<QByteArray> m_seeds = [] {
        QList<QByteArray> seeds;
        for (const char* seed : kSeeds) {
            seeds.append(QByteArray(seed));
        }
        return seeds;
    }();
    QList<QJsonObject> m_seedObjects = [this] {
        QList<QJsonObject> objects;
        for (const QByteArray& seed : m_seeds) {
            objects.append(QJsonDocument::fromJson(seed).object());
        }
        return objects;
    }();
};

// Runs one decoder; true when it produced a record.
template <typename Reply>
bool decodes(const JsonObjectReader& reader) {
    try {
        const Reply reply = Reply::decode(reader);
        if constexpr (std::is_same_v<Reply, ShortcutsResponse>) {
            for (const APIShortcut& record : reply.shortcuts) {
                (void)record.toShortcut(true);
            }
        }
        return true;
    } catch (const JsonDecodingError&) {
        return false;
    }
}

qint64 envOr(const char* name, qint64 fallback) {
    bool ok = false;
    const qint64 value = qEnvironmentVariable(name).toLongLong(&ok);
    return ok ? value : fallback;
}

}  // namespace

TEST(ReplyDecoderFuzz, MutatedRepliesEitherDecodeOrFailCleanly) {
    const qint64 iterations = envOr("KEYLOOM_FUZZ_ITERATIONS", 1'000'000);
    const auto seed = static_cast<std::uint64_t>(envOr("KEYLOOM_FUZZ_SEED", 20240611));
    Mutator mutator(seed);
    std::array<qint64, 6> decoded{};
    qint64 parsed = 0;
    QElapsedTimer clock;
    clock.start();
    for (qint64 i = 0; i < iterations; ++i) {
        const QByteArray input = mutator.next();
        QJsonObject object;
        try {
            object = JsonCoding::parseObject(input);
        } catch (const JsonDecodingError&) {
            continue;
        }
        ++parsed;
        // One reader for all six: it only reads, and building it once keeps the run fast under ASan.
        const JsonObjectReader reader(object);
        decoded[0] += decodes<InstallRegisterResponse>(reader);
        decoded[1] += decodes<ShortcutsResponse>(reader);
        decoded[2] += decodes<FeaturesResponse>(reader);
        decoded[3] += decodes<IssueCreateResponse>(reader);
        decoded[4] += decodes<IssuePatchResponse>(reader);
        decoded[5] += decodes<ProfileResponse>(reader);
    }
    std::printf("[fuzz] %lld inputs (seed %llu) in %.1f s: %lld parsed; decoded %lld/%lld/%lld/%lld/%lld/%lld\n",
                static_cast<long long>(iterations), static_cast<unsigned long long>(seed),
                static_cast<double>(clock.elapsed()) / 1000.0, static_cast<long long>(parsed),
                static_cast<long long>(decoded[0]), static_cast<long long>(decoded[1]),
                static_cast<long long>(decoded[2]), static_cast<long long>(decoded[3]),
                static_cast<long long>(decoded[4]), static_cast<long long>(decoded[5]));
    // The mutations must still reach the success paths of every decoder, not only the parser.
    if (iterations >= 10'000) {
        for (const qint64 count : decoded) {
            EXPECT_GT(count, 0);
        }
    }
}
