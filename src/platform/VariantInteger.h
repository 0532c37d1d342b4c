#pragma once

#include <QVariant>
#include <limits>
#include <optional>

// The value of an integer-kind QVariant as a signed 64-bit number; nothing for other kinds (reals,
// Booleans, strings) and for unsigned values beyond the signed range, which would otherwise wrap.
inline std::optional<qint64> integerFromVariant(const QVariant& value) {
    switch (value.typeId()) {
        case QMetaType::Int:
        case QMetaType::Short:
        case QMetaType::Long:
        case QMetaType::LongLong:
            return value.toLongLong();
        case QMetaType::UInt:
        case QMetaType::UShort:
        case QMetaType::ULong:
        case QMetaType::ULongLong: {
            const qulonglong u = value.toULongLong();
            if (u > static_cast<qulonglong>(std::numeric_limits<qint64>::max())) {
                return std::nullopt;
            }
            return static_cast<qint64>(u);
        }
        default:
            return std::nullopt;
    }
}
