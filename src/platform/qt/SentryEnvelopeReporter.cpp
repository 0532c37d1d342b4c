#include "platform/qt/SentryEnvelopeReporter.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QNetworkRequest>
#include <QUuid>
#include <QtDebug>
#include <algorithm>
#include <cmath>

#include "platform/Clock.h"

namespace {

QString levelName(CrashReportingLevel level) {
    switch (level) {
        case CrashReportingLevel::None:
            break;
        case CrashReportingLevel::Debug:
            return QStringLiteral("debug");
        case CrashReportingLevel::Info:
            return QStringLiteral("info");
        case CrashReportingLevel::Warning:
            return QStringLiteral("warning");
        case CrashReportingLevel::Error:
            return QStringLiteral("error");
        case CrashReportingLevel::Fatal:
            return QStringLiteral("fatal");
    }
    return {};
}

QString timestamp(const QDateTime& time) {
    return time.toUTC().toString(Qt::ISODateWithMs);
}

// Seconds to wait from a Retry-After value: a number of seconds or an HTTP date.
double retryAfterSeconds(const QByteArray& header, const QDateTime& now) {
    const QByteArray value = header.trimmed();
    bool ok = false;
    const double seconds = value.toDouble(&ok);
    if (ok && std::isfinite(seconds) && seconds >= 0) {
        // Bounded so that the window arithmetic stays well inside QDateTime's range.
        return std::min(seconds, 1.0e7);
    }
    const QDateTime date = QDateTime::fromString(QString::fromLatin1(value), Qt::RFC2822Date);
    if (date.isValid()) {
        return std::clamp(static_cast<double>(now.secsTo(date)), 0.0, 1.0e7);
    }
    return SentryEnvelopeReporter::defaultRetryAfterSeconds;
}

}  // namespace

SentryEnvelopeReporter::SentryEnvelopeReporter(const QString& release, Clock& clock, DeliveryQueue::Limits limits,
                                               QObject* parent)
    : QObject(parent),
      m_release(release),
      m_clock(clock),
      m_network(new QNetworkAccessManager(this)),
      m_delivery(*m_network, limits) {}

SentryEnvelopeReporter::~SentryEnvelopeReporter() = default;

void SentryEnvelopeReporter::start(const CrashReportingOptions& options) {
    m_options = options;
    m_dsn = SentryDsn::parse(options.dsn);
    if (!m_dsn && options.debug) {
        qInfo("Crash reporting stays off: the DSN cannot be used");
    }
}

std::optional<QString> SentryEnvelopeReporter::captureMessage(const QString& message) {
    if (!m_dsn) {
        return std::nullopt;
    }
    const QString eventId = QUuid::createUuid().toString(QUuid::Id128);
    const QDateTime now = m_clock.now();
    if (m_dropUntil.isValid() && now < m_dropUntil) {
        return eventId;
    }
    QNetworkRequest request(m_dsn->envelopeUrl());
    request.setHeader(QNetworkRequest::ContentTypeHeader, QStringLiteral("application/x-sentry-envelope"));
    request.setRawHeader("X-Sentry-Auth", m_dsn->authHeader(QStringLiteral("keyloom/") + m_release).toUtf8());
    m_delivery.post(std::move(request), buildEnvelope(eventId, message, now),
                    [this](QNetworkReply& reply) { handleReply(reply); });
    return eventId;
}

void SentryEnvelopeReporter::addBreadcrumb(const Breadcrumb& breadcrumb) {
    if (!m_dsn) {
        return;
    }
    m_breadcrumbs.push_back({breadcrumb, m_clock.now()});
    while (m_breadcrumbs.size() > static_cast<size_t>(maxBreadcrumbs)) {
        m_breadcrumbs.pop_front();
    }
}

QByteArray SentryEnvelopeReporter::buildEnvelope(const QString& eventId, const QString& message,
                                                 const QDateTime& now) const {
    QJsonArray crumbs;
    for (const StampedBreadcrumb& stamped : m_breadcrumbs) {
        QJsonObject crumb;
        crumb.insert(QStringLiteral("timestamp"), timestamp(stamped.timestamp));
        const QString level = levelName(stamped.breadcrumb.level);
        if (!level.isEmpty()) {
            crumb.insert(QStringLiteral("level"), level);
        }
        crumb.insert(QStringLiteral("category"), stamped.breadcrumb.category);
        crumb.insert(QStringLiteral("message"), stamped.breadcrumb.message);
        crumb.insert(QStringLiteral("type"), stamped.breadcrumb.type);
        crumbs.append(crumb);
    }

    QJsonObject event;
    event.insert(QStringLiteral("event_id"), eventId);
    event.insert(QStringLiteral("timestamp"), timestamp(now));
    event.insert(QStringLiteral("platform"), QStringLiteral("native"));
    event.insert(QStringLiteral("level"), QStringLiteral("info"));
    event.insert(QStringLiteral("message"), QJsonObject{{QStringLiteral("formatted"), message}});
    event.insert(QStringLiteral("release"), m_release);
    event.insert(QStringLiteral("breadcrumbs"), QJsonObject{{QStringLiteral("values"), crumbs}});
    const QByteArray payload = QJsonDocument(event).toJson(QJsonDocument::Compact);

    const QJsonObject envelopeHeader{{QStringLiteral("event_id"), eventId},
                                     {QStringLiteral("dsn"), m_dsn->text()},
                                     {QStringLiteral("sent_at"), timestamp(now)}};
    const QJsonObject itemHeader{{QStringLiteral("type"), QStringLiteral("event")},
                                 {QStringLiteral("length"), payload.size()},
                                 {QStringLiteral("content_type"), QStringLiteral("application/json")}};
    return QJsonDocument(envelopeHeader).toJson(QJsonDocument::Compact) + '\n' +
           QJsonDocument(itemHeader).toJson(QJsonDocument::Compact) + '\n' + payload + '\n';
}

void SentryEnvelopeReporter::handleReply(QNetworkReply& reply) {
    const int status = reply.attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt();
    if (status == 429) {
        const QDateTime now = m_clock.now();
        const double wait = retryAfterSeconds(reply.rawHeader("Retry-After"), now);
        const QDateTime until = now.addMSecs(static_cast<qint64>(wait * 1000.0));
        if (!m_dropUntil.isValid() || until > m_dropUntil) {
            m_dropUntil = until;
        }
    } else if (m_options.debug && reply.error() != QNetworkReply::NoError) {
        qInfo() << "Crash report not delivered:" << reply.errorString();
    }
}
