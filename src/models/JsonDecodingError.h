#pragma once

#include <QString>
#include <exception>
#include <string>

// Why a backend reply could not be turned into its record: which key, and what was wrong with it.
class JsonDecodingError : public std::exception {
public:
    explicit JsonDecodingError(QString message);

    const QString& message() const { return m_message; }
    const char* what() const noexcept override { return m_what.c_str(); }

private:
    QString m_message;
    std::string m_what;  // UTF-8 copy, so what() never allocates
};
