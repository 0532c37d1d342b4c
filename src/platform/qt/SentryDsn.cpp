#include "platform/qt/SentryDsn.h"

#include <QRegularExpression>

std::optional<SentryDsn> SentryDsn::parse(const QString& text) {
    const QUrl url(text.trimmed(), QUrl::StrictMode);
    if (!url.isValid()) {
        return std::nullopt;
    }
    const QString scheme = url.scheme().toLower();
    if ((scheme != u"http" && scheme != u"https") || url.host().isEmpty()) {
        return std::nullopt;
    }
    // The key goes verbatim into a header, so only plain alphanumerics are accepted.
    static const QRegularExpression keyPattern(QStringLiteral("^[A-Za-z0-9]+$"));
    static const QRegularExpression idPattern(QStringLiteral("^[0-9]+$"));
    const QString key = url.userName();
    if (!keyPattern.match(key).hasMatch()) {
        return std::nullopt;
    }
    QString path = url.path();
    while (path.endsWith(u'/')) {
        path.chop(1);
    }
    const qsizetype slash = path.lastIndexOf(u'/');
    const QString projectId = path.mid(slash + 1);
    const QString prefix = slash > 0 ? path.left(slash) : QString();
    if (!idPattern.match(projectId).hasMatch()) {
        return std::nullopt;
    }

    SentryDsn dsn;
    dsn.m_text = text.trimmed();
    dsn.m_publicKey = key;
    dsn.m_projectId = projectId;
    QUrl endpoint;
    endpoint.setScheme(scheme);
    endpoint.setHost(url.host());
    endpoint.setPort(url.port());
    endpoint.setPath(prefix + QStringLiteral("/api/") + projectId + QStringLiteral("/envelope/"));
    dsn.m_envelopeUrl = endpoint;
    return dsn;
}

QString SentryDsn::authHeader(const QString& clientName) const {
    return QStringLiteral("Sentry sentry_version=7, sentry_key=%1, sentry_client=%2").arg(m_publicKey, clientName);
}
