#include "services/APIError.h"

APIError::APIError(Kind kind, int statusCode, QString decoding)
    : m_kind(kind), m_statusCode(statusCode), m_decoding(std::move(decoding)), m_what(description().toStdString()) {}

APIError APIError::httpError(int statusCode) {
    return APIError(Kind::httpError, statusCode, QString());
}

APIError APIError::decodingError(const QString& underlying) {
    return APIError(Kind::decodingError, 0, underlying);
}

APIError APIError::invalidResponse() {
    return APIError(Kind::invalidResponse, 0, QString());
}

APIError APIError::notConfigured() {
    return APIError(Kind::notConfigured, 0, QString());
}

QString APIError::description() const {
    switch (m_kind) {
        case Kind::httpError:
            return QStringLiteral("httpError(%1)").arg(m_statusCode);
        case Kind::decodingError:
            return QStringLiteral("decodingError(%1)").arg(m_decoding);
        case Kind::invalidResponse:
            return QStringLiteral("invalidResponse");
        case Kind::notConfigured:
            return QStringLiteral("notConfigured");
    }
    return QString();
}
