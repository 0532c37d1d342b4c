#pragma once

#include <time.h>

#include <QByteArray>
#include <QDateTime>
#include <QFile>
#include <QList>
#include <QString>
#include <QVariantMap>
#include <QtEndian>

// Property-list files for the defaults tests, built the way they arrive: written by the program, or by hand
// for what it never writes.

// CPU seconds of the calling thread: a time bound that a loaded test machine does not break.
inline double threadCpuSeconds() {
    timespec now{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now);
    return double(now.tv_sec) + double(now.tv_nsec) / 1e9;
}

inline QByteArray readAll(const QString& path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

inline void writeAll(const QString& path, const QByteArray& bytes) {
    QFile file(path);
    if (file.open(QIODevice::WriteOnly | QIODevice::Truncate)) {
        file.write(bytes);
    }
}

// The keys and kinds the program keeps in its defaults, with a few more kinds the format holds.
inline QVariantMap programValues() {
    return {
        {"deviceId", QStringLiteral("3F2504E0-4F89-41D3-9A0C-0305E82C3301")},
        {"install_secret_local", QStringLiteral("s3cr3t/+=")},
        {"installRegistered", true},
        {"hasAutoRegisteredLoginItem", true},
        {"isPaused", false},
        {"showInDock", true},
        {"profileName", QStringLiteral("Ada <Lovelace> & Co — ⌘")},
        {"usageDailyCounts", QVariantMap{{"2026-01-14", qint64{3}}, {"2026-01-15", qint64{9223372036854775807}}}},
        {"usageRecords", QByteArray(R"({"4,11,0":{"name":"Bold","count":3}})")},
        {"disabledShortcutIDs", QVariantList{"bold", "fill-right"}},
        {"lastCheck", QDateTime(QDate(2026, 1, 15), QTime(12, 0), Qt::UTC)},
        {"scale", 1.25},
    };
}

// `depth` nested one-element arrays around an empty one, as XML markup.
inline QByteArray deepXmlArray(int depth) {
    return QByteArray("<array>").repeated(depth) + QByteArray("</array>").repeated(depth);
}

// An XML property list with the given raw "<key>…</key><value/>" entries.
inline QByteArray xmlPlist(const QByteArray& entries) {
    return "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<plist version=\"1.0\">\n<dict>\n" + entries +
           "\n</dict>\n</plist>\n";
}

// A binary property list ("bplist00") of hand-made objects; the first object added is the top.
class BinaryPlist {
public:
    // Object encodings; references are 4 bytes wide.
    static QByteArray marker(int kind, qsizetype count) {
        if (count < 15) {
            return QByteArray(1, char(kind << 4 | int(count)));
        }
        return QByteArray(1, char(kind << 4 | 0xF)) + integer(count);
    }
    static QByteArray integer(qint64 value) {
        QByteArray bytes(9, '\0');
        bytes[0] = char(0x13);
        qToBigEndian<qint64>(value, bytes.data() + 1);
        return bytes;
    }
    static QByteArray asciiString(const QByteArray& text) { return marker(5, text.size()) + text; }
    static QByteArray ref(quint32 index) {
        QByteArray bytes(4, '\0');
        qToBigEndian<quint32>(index, bytes.data());
        return bytes;
    }
    static QByteArray array(const QList<quint32>& items) {
        QByteArray bytes = marker(0xA, items.size());
        for (quint32 item : items) {
            bytes += ref(item);
        }
        return bytes;
    }
    static QByteArray dict(const QList<quint32>& keys, const QList<quint32>& values) {
        QByteArray bytes = marker(0xD, keys.size());
        for (quint32 key : keys) {
            bytes += ref(key);
        }
        for (quint32 value : values) {
            bytes += ref(value);
        }
        return bytes;
    }

    quint32 add(const QByteArray& object) {
        m_offsets.append(quint32(8 + m_objects.size()));
        m_objects += object;
        return quint32(m_offsets.size() - 1);
    }

    // Adds `value` and what it holds; returns its index.
    quint32 addValue(const QVariant& value) {
        auto bigEndian = [](int marker, auto number) {
            QByteArray bytes(1 + sizeof(number), '\0');
            bytes[0] = char(marker);
            qToBigEndian(number, bytes.data() + 1);
            return bytes;
        };
        switch (value.typeId()) {
            case QMetaType::Bool:
                return add(QByteArray(1, value.toBool() ? '\x09' : '\x08'));
            case QMetaType::Double:
                return add(bigEndian(0x23, value.toDouble()));
            case QMetaType::QDateTime:
                return add(bigEndian(0x33, double(value.toDateTime().toSecsSinceEpoch() - 978307200)));
            case QMetaType::QByteArray:
                return add(marker(4, value.toByteArray().size()) + value.toByteArray());
            case QMetaType::QString: {
                const QString text = value.toString();
                QByteArray utf16(text.size() * 2, '\0');
                for (qsizetype i = 0; i < text.size(); ++i) {
                    qToBigEndian<quint16>(text[i].unicode(), utf16.data() + 2 * i);
                }
                return add(marker(6, text.size()) + utf16);
            }
            case QMetaType::QVariantList: {
                QList<quint32> items;
                for (const QVariant& item : value.toList()) {
                    items.append(addValue(item));
                }
                return add(array(items));
            }
            case QMetaType::QVariantMap: {
                QList<quint32> keys;
                QList<quint32> values;
                const QVariantMap map = value.toMap();
                for (auto it = map.cbegin(); it != map.cend(); ++it) {
                    keys.append(addValue(it.key()));
                    values.append(addValue(it.value()));
                }
                return add(dict(keys, values));
            }
            default:
                return add(integer(value.toLongLong()));
        }
    }

    QByteArray bytes(quint32 top = 0) const {
        QByteArray out = "bplist00" + m_objects;
        const quint64 tableOffset = quint64(out.size());
        for (quint32 offset : m_offsets) {
            out += ref(offset);
        }
        QByteArray trailer(32, '\0');
        trailer[6] = 4;  // offset size
        trailer[7] = 4;  // reference size
        qToBigEndian<quint64>(quint64(m_offsets.size()), trailer.data() + 8);
        qToBigEndian<quint64>(top, trailer.data() + 16);
        qToBigEndian<quint64>(tableOffset, trailer.data() + 24);
        return out + trailer;
    }

    // A dictionary {"deviceId": "KEEP-ME", "deep": `depth` nested one-element arrays}.
    static QByteArray deep(int depth) {
        BinaryPlist plist;
        const quint32 first = quint32(4);
        plist.add(dict({1, 2}, {3, first}));
        plist.add(asciiString("deviceId"));
        plist.add(asciiString("deep"));
        plist.add(asciiString("KEEP-ME"));
        for (int i = 0; i < depth; ++i) {
            plist.add(i + 1 < depth ? array({quint32(first + i + 1)}) : array({}));
        }
        return plist.bytes();
    }

private:
    QByteArray m_objects;
    QList<quint32> m_offsets;
};
