#include "models/JsonDecodingError.h"

JsonDecodingError::JsonDecodingError(QString message)
    : m_message(std::move(message)), m_what(m_message.toUtf8().toStdString()) {}
