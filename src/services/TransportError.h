#pragma once

#include <QNetworkReply>
#include <QString>
#include <exception>
#include <string>

// A request that never produced a usable HTTP reply: no connection, time-out, cancellation, a
// broken transfer, or a URL the client refuses to send to. Carries Qt's error code and text.
class TransportError : public std::exception {
public:
    TransportError(QNetworkReply::NetworkError code, QString message);

    QNetworkReply::NetworkError code() const { return m_code; }
    const QString& message() const { return m_message; }
    bool isTimeout() const { return m_code == QNetworkReply::TimeoutError; }
    const char* what() const noexcept override { return m_what.c_str(); }

private:
    QNetworkReply::NetworkError m_code;
    QString m_message;
    std::string m_what;
};
