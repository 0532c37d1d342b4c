#include "platform/qt/PlistXmlWriter.h"

#include <QDateTime>
#include <QLoggingCategory>
#include <QStringList>
#include <cmath>
#include <limits>

Q_DECLARE_LOGGING_CATEGORY(lcDefaults)

namespace {

bool isContainer(const QVariant& value) {
    switch (value.typeId()) {
        case QMetaType::QStringList:
        case QMetaType::QVariantList:
        case QMetaType::QVariantMap:
        case QMetaType::QVariantHash:
            return true;
        default:
            return false;
    }
}

// Whether `value` can go into the file at indentation `depth`, where a top-level value has depth 2 (its
// children are checked as they are written).
bool writable(const QVariant& value, int depth) {
    if (isContainer(value)) {
        return depth - 1 <= PlistDocument::maxDepth;
    }
    switch (value.typeId()) {
        case QMetaType::QDateTime:
            return value.toDateTime().isValid();
        case QMetaType::QDate:
            return value.toDate().isValid();
        default:
            return value.isValid() && value.canConvert<QString>();
    }
}

void appendEscaped(QString& out, const QString& text) {
    const qsizetype n = text.size();
    for (qsizetype i = 0; i < n; ++i) {
        const char16_t c = text[i].unicode();
        if (c == u'&') {
            out += u"&amp;";
        } else if (c == u'<') {
            out += u"&lt;";
        } else if (c == u'>') {
            out += u"&gt;";
        } else if (c == u'\r') {
            out += u"&#13;";  // a bare carriage return would be read back as a line feed
        } else if (QChar::isHighSurrogate(c) && i + 1 < n && text[i + 1].isLowSurrogate()) {
            out += text[i];
            out += text[++i];
        } else if ((c < 0x20 && c != u'\t' && c != u'\n') || QChar::isSurrogate(c) || c == 0xFFFE || c == 0xFFFF) {
            out += QChar::ReplacementCharacter;
        } else {
            out += text[i];
        }
    }
}

QString realText(double d) {
    if (std::isnan(d)) {
        return QStringLiteral("nan");
    }
    if (std::isinf(d)) {
        return d > 0 ? QStringLiteral("+infinity") : QStringLiteral("-infinity");
    }
    return QString::number(d, 'g', QLocale::FloatingPointShortest);
}

void appendValue(QString& out, const QVariant& value, int depth);

void appendIndent(QString& out, int depth) {
    out += QString(depth, u'\t');
}

void appendEntry(QString& out, const QString& key, const QVariant& value, int depth) {
    if (!writable(value, depth + 1)) {
        qCWarning(lcDefaults) << "Cannot store value of key" << key << "of type" << value.typeName();
        return;
    }
    appendIndent(out, depth);
    out += u"<key>";
    appendEscaped(out, key);
    out += u"</key>\n";
    appendIndent(out, depth);
    appendValue(out, value, depth + 1);
    out += u'\n';
}

void appendValue(QString& out, const QVariant& value, int depth) {
    auto element = [&out](QStringView name, const QString& text) {
        out += u'<';
        out += name;
        out += u'>';
        appendEscaped(out, text);
        out += u"</";
        out += name;
        out += u'>';
    };
    switch (value.typeId()) {
        case QMetaType::Bool:
            out += value.toBool() ? QStringLiteral("<true/>") : QStringLiteral("<false/>");
            return;
        case QMetaType::Int:
        case QMetaType::Long:
        case QMetaType::LongLong:
        case QMetaType::Short:
        case QMetaType::SChar:
        case QMetaType::UInt:
        case QMetaType::ULong:
        case QMetaType::UShort:
        case QMetaType::UChar:
            element(u"integer", QString::number(value.toLongLong()));
            return;
        case QMetaType::ULongLong: {
            const qulonglong u = value.toULongLong();
            // Integers are signed 64-bit in the file; a larger one keeps its magnitude as a real.
            if (u > static_cast<qulonglong>(std::numeric_limits<qint64>::max())) {
                element(u"real", realText(static_cast<double>(u)));
            } else {
                element(u"integer", QString::number(u));
            }
            return;
        }
        case QMetaType::Double:
        case QMetaType::Float:
            element(u"real", realText(value.toDouble()));
            return;
        case QMetaType::QByteArray:
            element(u"data", QString::fromLatin1(value.toByteArray().toBase64()));
            return;
        case QMetaType::QDateTime:
        case QMetaType::QDate: {
            const QDateTime date =
                value.typeId() == QMetaType::QDate ? value.toDate().startOfDay(Qt::UTC) : value.toDateTime();
            // Whole seconds as usual; milliseconds only when there are some, so that a read value writes back alike.
            element(u"date", date.toUTC().toString(date.time().msec() ? Qt::ISODateWithMs : Qt::ISODate));
            return;
        }
        case QMetaType::QStringList:
        case QMetaType::QVariantList: {
            const QVariantList list = value.toList();
            out += u"<array>\n";
            for (const QVariant& item : list) {
                if (writable(item, depth + 1)) {
                    appendIndent(out, depth);
                    appendValue(out, item, depth + 1);
                    out += u'\n';
                } else {
                    qCWarning(lcDefaults) << "Cannot store array item of type" << item.typeName();
                }
            }
            appendIndent(out, depth - 1);
            out += u"</array>";
            return;
        }
        case QMetaType::QVariantMap:
        case QMetaType::QVariantHash: {
            const QVariantMap map = value.toMap();
            out += u"<dict>\n";
            for (auto it = map.cbegin(); it != map.cend(); ++it) {
                appendEntry(out, it.key(), it.value(), depth);
            }
            appendIndent(out, depth - 1);
            out += u"</dict>";
            return;
        }
        default:
            // Anything else that has a text form is kept as that text.
            element(u"string", value.toString());
            return;
    }
}

}  // namespace

QByteArray PlistXmlWriter::write(const PlistDocument& document) {
    QString out = QStringLiteral(
        "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
        "<!DOCTYPE plist PUBLIC \"-//Apple//DTD PLIST 1.0//EN\" \"http://www.apple.com/DTDs/PropertyList-1.0.dtd\">\n"
        "<plist version=\"1.0\">\n<dict>\n");
    QStringList keys = document.values.keys() + document.unreadable.keys();
    keys.sort();
    keys.removeDuplicates();
    for (const QString& key : keys) {
        const auto raw = document.unreadable.constFind(key);
        if (raw == document.unreadable.cend()) {
            appendEntry(out, key, document.values.value(key), 1);
            continue;
        }
        out += u"\t<key>";
        appendEscaped(out, key);
        out += u"</key>\n\t";
        out += *raw;
        out += u'\n';
    }
    out += u"</dict>\n</plist>\n";
    return out.toUtf8();
}
