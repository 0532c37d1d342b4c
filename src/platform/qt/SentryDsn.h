#pragma once

#include <QString>
#include <QUrl>
#include <optional>

// A crash-reporting project address: "https://<public key>@<host>[:port][/<prefix>]/<project id>".
class SentryDsn {
public:
    // Nothing for anything but an http or https URL with a public key, a host and a numeric
    // project id as the last path segment.
    static std::optional<SentryDsn> parse(const QString& text);

    QString text() const { return m_text; }
    QString publicKey() const { return m_publicKey; }
    QString projectId() const { return m_projectId; }
    // Where envelopes go: "<scheme>://<host>[:port][/<prefix>]/api/<project id>/envelope/".
    QUrl envelopeUrl() const { return m_envelopeUrl; }
    // The value of the "X-Sentry-Auth" header for a client called `clientName`.
    QString authHeader(const QString& clientName) const;

private:
    QString m_text;
    QString m_publicKey;
    QString m_projectId;
    QUrl m_envelopeUrl;
};
