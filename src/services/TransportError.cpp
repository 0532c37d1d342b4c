#include "services/TransportError.h"

TransportError::TransportError(QNetworkReply::NetworkError code, QString message)
    : m_code(code), m_message(std::move(message)), m_what(m_message.toUtf8().toStdString()) {}
