#pragma once

#include <QString>
#include <exception>
#include <string>

// The backend client's own failures. It carries no message of its own beyond its case and
// payload; description() (and what()) spell them for logs and the failure page, e.g. "httpError(404)".
class APIError : public std::exception {
public:
    enum class Kind {
        httpError,        // status outside 200..299 (JSON calls) or not exactly 200 (upload; 0 when not HTTP)
        decodingError,    // a 2xx body that is not the expected record
        invalidResponse,  // a JSON call whose reply is not an HTTP reply
        notConfigured,    // an authenticated call before configure()
    };

    static APIError httpError(int statusCode);
    // `underlying` is the decoder's message.
    static APIError decodingError(const QString& underlying);
    static APIError invalidResponse();
    static APIError notConfigured();

    Kind kind() const { return m_kind; }
    int statusCode() const { return m_statusCode; }                // httpError only
    const QString& decodingMessage() const { return m_decoding; }  // decodingError only

    QString description() const;
    const char* what() const noexcept override { return m_what.c_str(); }

private:
    APIError(Kind kind, int statusCode, QString decoding);

    Kind m_kind;
    int m_statusCode = 0;
    QString m_decoding;
    std::string m_what;
};
