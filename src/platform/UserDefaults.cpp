#include "platform/UserDefaults.h"

#include <cmath>
#include <limits>

namespace {

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
        if (d >= 9.2233720368547758e18) return std::numeric_limits<qint64>::max();
        if (d <= -9.2233720368547758e18) return std::numeric_limits<qint64>::min();
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

void UserDefaults::setObject(const QVariant& value, const QString& key) {
    if (!value.isValid()) {
        removeObjectForKey(key);
        return;
    }
    m_values.insert(key, value);
    persist(m_values);
    emit didChange();
}

void UserDefaults::removeObjectForKey(const QString& key) {
    m_values.remove(key);
    persist(m_values);
    emit didChange();
}

void UserDefaults::persist(const QVariantMap&) {}
