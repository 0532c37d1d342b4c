#include "platform/qt/VersionComparator.h"

#include <QList>

namespace {

enum class PartType { Number, Word, Separator };

struct Part {
    PartType type;
    QString text;
};

PartType typeOf(QChar c) {
    if (c.isDigit()) {
        return PartType::Number;
    }
    if (c == u'.' || c.isSpace()) {
        return PartType::Separator;
    }
    return PartType::Word;
}

QList<Part> split(const QString& version) {
    QList<Part> parts;
    for (const QChar c : version) {
        const PartType type = typeOf(c);
        // Separators stand alone; numbers and words gather runs of their kind.
        if (!parts.isEmpty() && parts.last().type == type && type != PartType::Separator) {
            parts.last().text += c;
        } else {
            parts.append(Part{type, QString(c)});
        }
    }
    return parts;
}

QStringView withoutLeadingZeros(const QString& digits) {
    qsizetype i = 0;
    while (i < digits.size() - 1 && digits[i] == u'0') {
        ++i;
    }
    return QStringView(digits).mid(i);
}

// Numbers of any length, without converting (and so without overflow).
int compareNumbers(const QString& a, const QString& b) {
    const QStringView x = withoutLeadingZeros(a);
    const QStringView y = withoutLeadingZeros(b);
    if (x.size() != y.size()) {
        return x.size() < y.size() ? -1 : 1;
    }
    const int c = x.compare(y);
    return c < 0 ? -1 : (c > 0 ? 1 : 0);
}

bool isZero(const Part& part) {
    return part.type == PartType::Number && withoutLeadingZeros(part.text) == u"0";
}

// How the longer version's remaining parts rank against nothing: the first word makes it older,
// the first non-zero number newer; only dots and zeros make it equal.
int compareTail(const QList<Part>& parts, qsizetype from) {
    for (qsizetype i = from; i < parts.size(); ++i) {
        const Part& part = parts[i];
        if (part.type == PartType::Word) {
            return -1;
        }
        if (part.type == PartType::Number && !isZero(part)) {
            return 1;
        }
    }
    return 0;
}

}  // namespace

int VersionComparator::compare(const QString& a, const QString& b) {
    const QList<Part> pa = split(a.trimmed());
    const QList<Part> pb = split(b.trimmed());
    const qsizetype n = std::min(pa.size(), pb.size());
    for (qsizetype i = 0; i < n; ++i) {
        const Part& x = pa[i];
        const Part& y = pb[i];
        if (x.type == y.type) {
            int c = 0;
            if (x.type == PartType::Number) {
                c = compareNumbers(x.text, y.text);
            } else if (x.type == PartType::Word) {
                c = x.text.compare(y.text);
            }
            if (c != 0) {
                return c < 0 ? -1 : 1;
            }
            continue;
        }
        // Different kinds at one place: a word marks the older version, else a number the newer.
        if (x.type == PartType::Word) {
            return -1;
        }
        if (y.type == PartType::Word) {
            return 1;
        }
        return x.type == PartType::Number ? 1 : -1;
    }
    if (pa.size() > n) {
        return compareTail(pa, n);
    }
    if (pb.size() > n) {
        return -compareTail(pb, n);
    }
    return 0;
}
