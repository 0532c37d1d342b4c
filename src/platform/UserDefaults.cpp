#include "platform/UserDefaults.h"

#include <QDateTime>
#include <QLoggingCategory>
#include <algorithm>
#include <cmath>
#include <limits>
#include <vector>

#include "platform/VariantInteger.h"

Q_LOGGING_CATEGORY(lcDefaults, "keyloom.defaults")

namespace {

enum class Kind { Absent, Boolean, Integer, Real, String, Data, Date, Array, Dictionary, Other };

Kind kindOf(const QVariant& v) {
    switch (v.typeId()) {
        case QMetaType::UnknownType:
            return Kind::Absent;
        case QMetaType::Bool:
            return Kind::Boolean;
        case QMetaType::Int:
        case QMetaType::UInt:
        case QMetaType::Long:
        case QMetaType::ULong:
        case QMetaType::LongLong:
        case QMetaType::ULongLong:
        case QMetaType::Short:
        case QMetaType::UShort:
        case QMetaType::SChar:
        case QMetaType::UChar:
            return Kind::Integer;
        case QMetaType::Double:
        case QMetaType::Float:
            return Kind::Real;
        case QMetaType::QString:
            return Kind::String;
        case QMetaType::QByteArray:
            return Kind::Data;
        case QMetaType::QDateTime:
        case QMetaType::QDate:
            return Kind::Date;
        case QMetaType::QStringList:
        case QMetaType::QVariantList:
            return Kind::Array;
        case QMetaType::QVariantMap:
        case QMetaType::QVariantHash:
            return Kind::Dictionary;
        default:
            return Kind::Other;
    }
}

bool isNumber(const QVariant& v) {
    switch (v.typeId()) {
        case QMetaType::Int:
        case QMetaType::UInt:
        case QMetaType::LongLong:
        case QMetaType::ULongLong:
        case QMetaType::Double:
        case QMetaType::Float:
        case QMetaType::Bool:
            return true;
        default:
            return false;
    }
}

}  // namespace

UserDefaults::UserDefaults(QObject* parent) : QObject(parent) {}

UserDefaults::~UserDefaults() = default;

QVariant UserDefaults::objectForKey(const QString& key) const {
    return m_values.value(key);
}

bool UserDefaults::boolForKey(const QString& key) const {
    const QVariant v = m_values.value(key);
    if (!v.isValid()) {
        return false;
    }
    if (v.typeId() == QMetaType::Bool) {
        return v.toBool();
    }
    if (isNumber(v)) {
        return v.toDouble() != 0.0;
    }
    if (v.typeId() == QMetaType::QString) {
        const QString s = v.toString().trimmed().toLower();
        return s == QLatin1String("yes") || s == QLatin1String("true") || s.toLongLong() != 0;
    }
    return false;
}

qint64 UserDefaults::integerForKey(const QString& key) const {
    const QVariant v = m_values.value(key);
    if (v.typeId() == QMetaType::Double || v.typeId() == QMetaType::Float) {
        const double d = v.toDouble();
        if (std::isnan(d)) {
            return 0;
        }
        // Out-of-range reals clamp instead of invoking undefined conversion.
        if (d >= 9.2233720368547758e18)
            return std::numeric_limits<qint64>::max();
        if (d <= -9.2233720368547758e18)
            return std::numeric_limits<qint64>::min();
        return static_cast<qint64>(d);
    }
    if (isNumber(v)) {
        return v.toLongLong();
    }
    if (v.typeId() == QMetaType::QString) {
        return v.toString().trimmed().toLongLong();
    }
    return 0;
}

double UserDefaults::doubleForKey(const QString& key) const {
    const QVariant v = m_values.value(key);
    if (isNumber(v)) {
        return v.toDouble();
    }
    if (v.typeId() == QMetaType::QString) {
        return v.toString().trimmed().toDouble();
    }
    return 0.0;
}

std::optional<QString> UserDefaults::stringForKey(const QString& key) const {
    const QVariant v = m_values.value(key);
    if (v.typeId() == QMetaType::QString) {
        return v.toString();
    }
    if (isNumber(v) && v.typeId() != QMetaType::Bool) {
        return v.toString();
    }
    return std::nullopt;
}

std::optional<QByteArray> UserDefaults::dataForKey(const QString& key) const {
    const QVariant v = m_values.value(key);
    if (v.typeId() == QMetaType::QByteArray) {
        return v.toByteArray();
    }
    return std::nullopt;
}

std::optional<QStringList> UserDefaults::stringArrayForKey(const QString& key) const {
    const QVariant v = m_values.value(key);
    if (v.typeId() != QMetaType::QVariantList && v.typeId() != QMetaType::QStringList) {
        return std::nullopt;
    }
    if (v.typeId() == QMetaType::QStringList) {
        return v.toStringList();
    }
    QStringList out;
    for (const QVariant& item : v.toList()) {
        if (item.typeId() != QMetaType::QString) {
            return std::nullopt;
        }
        out.append(item.toString());
    }
    return out;
}

std::optional<QVariantMap> UserDefaults::dictionaryForKey(const QString& key) const {
    const QVariant v = m_values.value(key);
    if (v.typeId() == QMetaType::QVariantMap) {
        return v.toMap();
    }
    return std::nullopt;
}

bool UserDefaults::setObject(const QVariant& value, const QString& key) {
    return write(key, value);
}

bool UserDefaults::removeObjectForKey(const QString& key) {
    return write(key, QVariant());
}

bool UserDefaults::write(const QString& key, const QVariant& value) {
    std::optional<QString> refusal;
    if (!isStorableText(key)) {
        refusal = QStringLiteral("the key holds a character a property list cannot carry");
    } else if (value.isValid()) {
        refusal = unstorableReason(value);
    }
    if (!refusal) {
        willWrite();
        // A write that changes nothing leaves the store's file alone, but is announced all the same; one that
        // repeats a value its file did not take tries the file again.
        const bool changed =
            holdsUnreadableValue(key) || saveState(key) == SaveState::Unsaved || !sameValue(m_values.value(key), value);
        QVariantMap values = m_values;
        if (value.isValid()) {
            values.insert(key, value);
        } else {
            values.remove(key);
        }
        refusal = changed ? persist(values, key) : std::nullopt;
        didWrite();
        if (!refusal) {
            m_values = std::move(values);
            emit didChange();
            return true;
        }
    }
    // Quoted, so that odd characters in the key show escaped.
    qCWarning(lcDefaults) << "Not stored under key" << key.left(100) << "-" << refusal->toUtf8().constData();
    return false;
}

std::optional<QString> UserDefaults::persist(const QVariantMap&, const QString&) {
    return std::nullopt;
}

bool UserDefaults::isStorableText(QStringView text) {
    const qsizetype n = text.size();
    for (qsizetype i = 0; i < n; ++i) {
        const char16_t c = text[i].unicode();
        if (c < 0x20) {
            if (c != u'\t' && c != u'\n' && c != u'\r') {
                return false;
            }
        } else if (QChar::isHighSurrogate(c) && i + 1 < n && text[i + 1].isLowSurrogate()) {
            ++i;
        } else if (QChar::isSurrogate(c) || c == 0xFFFE || c == 0xFFFF) {
            return false;
        }
    }
    return true;
}

bool UserDefaults::isStorableDate(const QDateTime& date) {
    if (!date.isValid()) {
        return false;
    }
    const QDateTime utc = date.toUTC();
    return utc.time().msec() == 0 && utc.date().year() >= 1 && utc.date().year() <= 9999;
}

std::optional<QString> UserDefaults::unstorableReason(const QVariant& value) {
    // Without recursion: a value built in memory may nest arbitrarily deep.
    std::vector<std::pair<QVariant, int>> pending{{value, 0}};
    while (!pending.empty()) {
        const auto [item, depth] = std::move(pending.back());
        pending.pop_back();
        switch (kindOf(item)) {
            case Kind::Absent:
                return QStringLiteral("an array or dictionary holds an invalid value");
            case Kind::String:
                if (!isStorableText(item.toString())) {
                    return QStringLiteral("a string holds a character a property list cannot carry");
                }
                break;
            case Kind::Date:
                if (!isStorableDate(item.typeId() == QMetaType::QDate ? item.toDate().startOfDay(Qt::UTC)
                                                                      : item.toDateTime())) {
                    return QStringLiteral("a date is not a whole second of the years 1 to 9999");
                }
                break;
            case Kind::Array:
                if (depth >= maxDepth) {
                    return QStringLiteral("arrays and dictionaries nest deeper than %1").arg(maxDepth);
                }
                for (const QVariant& element : item.toList()) {
                    pending.emplace_back(element, depth + 1);
                }
                break;
            case Kind::Dictionary: {
                if (depth >= maxDepth) {
                    return QStringLiteral("arrays and dictionaries nest deeper than %1").arg(maxDepth);
                }
                const QVariantMap map = item.toMap();
                for (auto it = map.cbegin(); it != map.cend(); ++it) {
                    if (!isStorableText(it.key())) {
                        return QStringLiteral("a dictionary key holds a character a property list cannot carry");
                    }
                    pending.emplace_back(it.value(), depth + 1);
                }
                break;
            }
            case Kind::Other:
                if (!item.canConvert<QString>()) {
                    return QStringLiteral("a value of type %1 has no property-list form").arg(item.typeName());
                }
                if (!isStorableText(item.toString())) {
                    return QStringLiteral("a string holds a character a property list cannot carry");
                }
                break;
            default:
                break;
        }
    }
    return std::nullopt;
}

bool UserDefaults::sameValue(const QVariant& a, const QVariant& b) {
    const Kind kind = kindOf(a);
    if (kind != kindOf(b)) {
        return false;
    }
    switch (kind) {
        case Kind::Absent:
            return true;
        case Kind::Boolean:
            return a.toBool() == b.toBool();
        case Kind::Integer: {
            const auto x = integerFromVariant(a);
            const auto y = integerFromVariant(b);
            return x || y ? x == y : a.toULongLong() == b.toULongLong();
        }
        case Kind::Real: {
            const double x = a.toDouble();
            const double y = b.toDouble();
            return x == y || (std::isnan(x) && std::isnan(y));
        }
        case Kind::String:
            return a.toString() == b.toString();
        case Kind::Data:
            return a.toByteArray() == b.toByteArray();
        case Kind::Date:
            return a.toDateTime() == b.toDateTime();
        case Kind::Array: {
            const QVariantList x = a.toList();
            const QVariantList y = b.toList();
            return x.size() == y.size() && std::equal(x.cbegin(), x.cend(), y.cbegin(), &sameValue);
        }
        case Kind::Dictionary: {
            const QVariantMap x = a.toMap();
            const QVariantMap y = b.toMap();
            if (x.size() != y.size()) {
                return false;
            }
            for (auto it = x.cbegin(), other = y.cbegin(); it != x.cend(); ++it, ++other) {
                if (it.key() != other.key() || !sameValue(it.value(), other.value())) {
                    return false;
                }
            }
            return true;
        }
        case Kind::Other:
            return a == b;
    }
    return false;
}
