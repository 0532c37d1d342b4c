#include "platform/qt/PlistXmlWriter.h"

#include <QDateTime>
#include <QStringList>
#include <cmath>
#include <limits>

#include "platform/qt/PlistMarkupGuard.h"

namespace {

// Only what XML would otherwise change is escaped; the text was checked to hold nothing XML cannot carry.
void appendEscaped(QString& out, const QString& text) {
    for (const QChar c : text) {
        switch (c.unicode()) {
            case u'&':
                out += u"&amp;";
                break;
            case u'<':
                out += u"&lt;";
                break;
            case u'>':
                out += u"&gt;";
                break;
            case u'\r':
                out += u"&#13;";  // a bare carriage return would be read back as a line feed
                break;
            default:
                out += c;
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

// The one form standard readers take: whole seconds, UTC, four-digit years.
QString dateText(const QDateTime& date) {
    const QDateTime utc = date.toUTC();
    const QDate day = utc.date();
    const QTime time = utc.time();
    return QString::asprintf("%04d-%02d-%02dT%02d:%02d:%02dZ", day.year(), day.month(), day.day(), time.hour(),
                             time.minute(), time.second());
}

void appendIndent(QString& out, int depth) {
    out += QString(depth, u'\t');
}

void appendValue(QString& out, const QVariant& value, int depth);

void appendEntry(QString& out, const QString& key, const QVariant& value, int depth) {
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
            element(u"date", dateText(value.toDateTime()));
            return;
        case QMetaType::QDate:
            element(u"date", dateText(value.toDate().startOfDay(Qt::UTC)));
            return;
        case QMetaType::QStringList:
        case QMetaType::QVariantList: {
            const QVariantList list = value.toList();
            out += u"<array>\n";
            for (const QVariant& item : list) {
                appendIndent(out, depth);
                appendValue(out, item, depth + 1);
                out += u'\n';
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

std::optional<QByteArray> refuse(QString* problem, const QString& reason) {
    if (problem) {
        *problem = reason;
    }
    return std::nullopt;
}

}  // namespace

std::optional<QByteArray> PlistXmlWriter::write(const PlistDocument& document, QString* problem) {
    for (auto it = document.values.cbegin(); it != document.values.cend(); ++it) {
        if (!UserDefaults::isStorableText(it.key())) {
            return refuse(problem, QStringLiteral("a key holds a character a property list cannot carry"));
        }
        if (const auto reason = UserDefaults::unstorableReason(it.value())) {
            return refuse(problem, *reason);
        }
    }
    QString out = QStringLiteral(
        "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
        "<!DOCTYPE plist PUBLIC \"-//Apple//DTD PLIST 1.0//EN\" \"http://www.apple.com/DTDs/PropertyList-1.0.dtd\">\n"
        "<plist version=\"1.0\">\n<dict>\n");
    for (const QString& entry : document.unreadableEntries) {
        out += u'\t';
        out += entry;
        out += u'\n';
    }
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
    // The reader's own limits, so that whatever is written reads back.
    if (!PlistMarkupGuard::guard(out)) {
        return refuse(problem, QStringLiteral("the defaults would hold more values than one file may"));
    }
    QByteArray bytes = out.toUtf8();
    if (bytes.size() > PlistDocument::maxFileSize) {
        return refuse(
            problem,
            QStringLiteral("the defaults file would grow past %1 MiB").arg(PlistDocument::maxFileSize / (1024 * 1024)));
    }
    return bytes;
}
