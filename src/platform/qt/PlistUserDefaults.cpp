#include "platform/qt/PlistUserDefaults.h"

#include <plist/plist.h>

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLoggingCategory>
#include <QSaveFile>
#include <cstdlib>
#include <limits>
#include <memory>
#include <optional>

Q_LOGGING_CATEGORY(lcDefaults, "keyloom.defaults")

namespace {

// Property-list dates count seconds from 2001-01-01 UTC.
const QDateTime kReferenceDate(QDate(2001, 1, 1), QTime(0, 0), Qt::UTC);
// A defaults file is a few kilobytes; anything near this is not one (and the parser takes 32-bit sizes).
constexpr qint64 kMaxFileSize = 64 * 1024 * 1024;
constexpr int kMaxDepth = 256;

struct PlistDeleter {
    void operator()(void* node) const { plist_free(node); }
};
using PlistPtr = std::unique_ptr<void, PlistDeleter>;

// --- file -> values ---

std::optional<QVariant> toVariant(plist_t node, int depth);

std::optional<QVariant> dictToVariant(plist_t node, int depth) {
    QVariantMap map;
    plist_dict_iter it = nullptr;
    plist_dict_new_iter(node, &it);
    if (!it) {
        return std::nullopt;
    }
    bool ok = true;
    for (;;) {
        char* key = nullptr;
        plist_t value = nullptr;
        plist_dict_next_item(node, it, &key, &value);
        if (!key) {
            break;
        }
        const QString name = QString::fromUtf8(key);
        std::free(key);
        auto converted = value ? toVariant(value, depth + 1) : std::nullopt;
        if (!converted) {
            ok = false;
            break;
        }
        map.insert(name, *converted);
    }
    std::free(it);
    if (!ok) {
        return std::nullopt;
    }
    return QVariant(map);
}

std::optional<QVariant> toVariant(plist_t node, int depth) {
    if (depth > kMaxDepth) {
        return std::nullopt;
    }
    switch (plist_get_node_type(node)) {
        case PLIST_BOOLEAN: {
            uint8_t b = 0;
            plist_get_bool_val(node, &b);
            return QVariant(b != 0);
        }
        case PLIST_UINT: {
            // The library keeps integers as 64-bit patterns; negative ones round-trip this way.
            uint64_t u = 0;
            plist_get_uint_val(node, &u);
            return QVariant(static_cast<qint64>(u));
        }
        case PLIST_REAL: {
            double d = 0;
            plist_get_real_val(node, &d);
            return QVariant(d);
        }
        case PLIST_STRING: {
            uint64_t length = 0;
            const char* s = plist_get_string_ptr(node, &length);
            return QVariant(QString::fromUtf8(s ? s : "", static_cast<qsizetype>(length)));
        }
        case PLIST_DATA: {
            uint64_t length = 0;
            const char* bytes = plist_get_data_ptr(node, &length);
            return QVariant(bytes ? QByteArray(bytes, static_cast<qsizetype>(length)) : QByteArray());
        }
        case PLIST_DATE: {
            int32_t sec = 0;
            int32_t usec = 0;
            plist_get_date_val(node, &sec, &usec);
            return QVariant(kReferenceDate.addSecs(sec).addMSecs(usec / 1000));
        }
        case PLIST_ARRAY: {
            QVariantList list;
            const uint32_t size = plist_array_get_size(node);
            for (uint32_t i = 0; i < size; ++i) {
                plist_t item = plist_array_get_item(node, i);
                auto converted = item ? toVariant(item, depth + 1) : std::nullopt;
                if (!converted) {
                    return std::nullopt;
                }
                list.append(*converted);
            }
            return QVariant(list);
        }
        case PLIST_DICT:
            return dictToVariant(node, depth);
        default:
            // Keys outside a dictionary, archiver UIDs: not something the defaults hold.
            return std::nullopt;
    }
}

// --- values -> file ---

plist_t toNode(const QVariant& value, int depth);

plist_t mapToNode(const QVariantMap& map, int depth) {
    plist_t dict = plist_new_dict();
    for (auto it = map.constBegin(); it != map.constEnd(); ++it) {
        if (plist_t item = toNode(it.value(), depth + 1)) {
            plist_dict_set_item(dict, it.key().toUtf8().constData(), item);
        } else {
            qCWarning(lcDefaults) << "Cannot store value of key" << it.key() << "of type" << it.value().typeName();
        }
    }
    return dict;
}

plist_t dateNode(const QDateTime& date) {
    const qint64 ms = kReferenceDate.msecsTo(date);
    qint64 sec = ms / 1000;
    qint64 rest = ms % 1000;
    if (rest < 0) {
        sec -= 1;
        rest += 1000;
    }
    // The format's seconds are 32-bit; later or earlier dates are clamped.
    if (sec > std::numeric_limits<int32_t>::max()) {
        return plist_new_date(std::numeric_limits<int32_t>::max(), 0);
    }
    if (sec < std::numeric_limits<int32_t>::min()) {
        return plist_new_date(std::numeric_limits<int32_t>::min(), 0);
    }
    return plist_new_date(static_cast<int32_t>(sec), static_cast<int32_t>(rest * 1000));
}

plist_t toNode(const QVariant& value, int depth) {
    if (depth > kMaxDepth) {
        return nullptr;
    }
    switch (value.typeId()) {
        case QMetaType::Bool:
            return plist_new_bool(value.toBool() ? 1 : 0);
        case QMetaType::Int:
        case QMetaType::Long:
        case QMetaType::LongLong:
        case QMetaType::Short:
        case QMetaType::SChar:
        case QMetaType::UInt:
        case QMetaType::ULong:
        case QMetaType::UShort:
        case QMetaType::UChar:
            return plist_new_uint(static_cast<uint64_t>(value.toLongLong()));
        case QMetaType::ULongLong: {
            const qulonglong u = value.toULongLong();
            // Integers are signed 64-bit in the file; a larger one keeps its magnitude as a real.
            if (u > static_cast<qulonglong>(std::numeric_limits<qint64>::max())) {
                return plist_new_real(static_cast<double>(u));
            }
            return plist_new_uint(u);
        }
        case QMetaType::Double:
        case QMetaType::Float:
            return plist_new_real(value.toDouble());
        case QMetaType::QString:
            return plist_new_string(value.toString().toUtf8().constData());
        case QMetaType::QByteArray: {
            const QByteArray bytes = value.toByteArray();
            return plist_new_data(bytes.constData(), static_cast<uint64_t>(bytes.size()));
        }
        case QMetaType::QDateTime:
            return dateNode(value.toDateTime());
        case QMetaType::QDate:
            return dateNode(value.toDate().startOfDay(Qt::UTC));
        case QMetaType::QStringList:
        case QMetaType::QVariantList: {
            plist_t array = plist_new_array();
            const QVariantList list = value.toList();
            for (const QVariant& item : list) {
                if (plist_t node = toNode(item, depth + 1)) {
                    plist_array_append_item(array, node);
                } else {
                    qCWarning(lcDefaults) << "Cannot store array item of type" << item.typeName();
                }
            }
            return array;
        }
        case QMetaType::QVariantMap:
        case QMetaType::QVariantHash:
            return mapToNode(value.toMap(), depth);
        default:
            // Anything else that has a text form is kept as that text.
            if (value.isValid() && value.canConvert<QString>()) {
                return plist_new_string(value.toString().toUtf8().constData());
            }
            return nullptr;
    }
}

}  // namespace

PlistUserDefaults::PlistUserDefaults(const QString& path, QObject* parent) : UserDefaults(parent), m_path(path) {
    load();
}

PlistUserDefaults::~PlistUserDefaults() = default;

QString PlistUserDefaults::defaultPath() {
    QString base = qEnvironmentVariable("XDG_CONFIG_HOME");
    // Relative values are to be ignored, as the base directory convention says.
    if (base.isEmpty() || QDir::isRelativePath(base)) {
        base = QDir::homePath() + QStringLiteral("/.config");
    }
    return base + QStringLiteral("/keyloom/defaults.plist");
}

void PlistUserDefaults::load() {
    const QFileInfo info(m_path);
    if (!info.exists() && !info.isSymLink()) {
        return;  // first run
    }
    QFile file(m_path);
    if (!info.isFile() || info.size() > kMaxFileSize || !file.open(QIODevice::ReadOnly)) {
        moveAside(QStringLiteral("cannot be read"));
        return;
    }
    const QByteArray bytes = file.readAll();
    file.close();
    if (bytes.isEmpty()) {
        moveAside(QStringLiteral("is empty"));
        return;
    }
    plist_t rootNode = nullptr;
    plist_from_memory(bytes.constData(), static_cast<uint32_t>(bytes.size()), &rootNode);
    PlistPtr root(rootNode);
    if (!root || plist_get_node_type(root.get()) != PLIST_DICT) {
        moveAside(root ? QStringLiteral("has no dictionary at its root") : QStringLiteral("cannot be parsed"));
        return;
    }
    const auto values = toVariant(root.get(), 0);
    if (!values) {
        moveAside(QStringLiteral("holds values of unknown kinds"));
        return;
    }
    replaceAllWithoutNotice(values->toMap());
}

void PlistUserDefaults::moveAside(const QString& reason) {
    const QString stamp = QDateTime::currentDateTimeUtc().toString(QStringLiteral("yyyyMMdd'T'HHmmss'Z'"));
    QString target = m_path + QStringLiteral(".corrupt-") + stamp;
    for (int n = 2; QFileInfo::exists(target) || QFileInfo(target).isSymLink(); ++n) {
        target = m_path + QStringLiteral(".corrupt-") + stamp + QLatin1Char('-') + QString::number(n);
    }
    if (QFile::rename(m_path, target)) {
        m_movedAsidePath = target;
        qCWarning(lcDefaults).noquote() << "Defaults file" << m_path << reason << "- moved to" << target
                                        << "and starting empty";
    } else {
        qCWarning(lcDefaults).noquote() << "Defaults file" << m_path << reason
                                        << "and could not be moved aside; starting empty";
    }
}

void PlistUserDefaults::persist(const QVariantMap& values) {
    PlistPtr root(mapToNode(values, 0));
    char* xml = nullptr;
    uint32_t length = 0;
    plist_to_xml(root.get(), &xml, &length);
    if (!xml) {
        qCWarning(lcDefaults) << "Could not encode the defaults";
        return;
    }
    const QByteArray bytes(xml, static_cast<qsizetype>(length));
    plist_to_xml_free(xml);

    QDir().mkpath(QFileInfo(m_path).absolutePath());
    QSaveFile file(m_path);
    if (!file.open(QIODevice::WriteOnly)) {
        qCWarning(lcDefaults) << "Could not write the defaults to" << m_path << ":" << file.errorString();
        return;
    }
    // The defaults may hold credentials of this installation: owner only (best effort on odd file systems).
    file.setPermissions(QFileDevice::ReadOwner | QFileDevice::WriteOwner);
    if (file.write(bytes) != bytes.size() || !file.commit()) {
        qCWarning(lcDefaults) << "Could not write the defaults to" << m_path << ":" << file.errorString();
    }
}
