#include "models/JsonObjectWriter.h"

#include "models/JsonCoding.h"

namespace {

void appendEscaped(QByteArray& out, const QString& text) {
    static const char kHex[] = "0123456789abcdef";
    out += '"';
    for (const char byte : text.toUtf8()) {
        const auto c = static_cast<unsigned char>(byte);
        switch (c) {
            case '"':
                out += "\\\"";
                break;
            case '\\':
                out += "\\\\";
                break;
            case '/':
                out += "\\/";
                break;
            case '\b':
                out += "\\b";
                break;
            case '\f':
                out += "\\f";
                break;
            case '\n':
                out += "\\n";
                break;
            case '\r':
                out += "\\r";
                break;
            case '\t':
                out += "\\t";
                break;
            default:
                if (c < 0x20) {
                    out += "\\u00";
                    out += kHex[c >> 4];
                    out += kHex[c & 0x0f];
                } else {
                    out += byte;
                }
        }
    }
    out += '"';
}

}  // namespace

void JsonObjectWriter::add(const QString& field, const QString& value) {
    m_members.append({JsonCoding::convertToSnakeCase(field), value});
}

void JsonObjectWriter::addIfPresent(const QString& field, const std::optional<QString>& value) {
    if (value) {
        add(field, *value);
    }
}

QByteArray JsonObjectWriter::toJson() const {
    QByteArray out("{");
    for (qsizetype i = 0; i < m_members.size(); ++i) {
        if (i > 0) {
            out += ',';
        }
        appendEscaped(out, m_members.at(i).first);
        out += ':';
        appendEscaped(out, m_members.at(i).second);
    }
    out += '}';
    return out;
}
