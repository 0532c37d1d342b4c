#pragma once

#include <QDateTime>
#include <QObject>
#include <deque>
#include <optional>

#include "platform/CrashReporting.h"
#include "platform/qt/DeliveryQueue.h"
#include "platform/qt/SentryDsn.h"

class Clock;
class QNetworkAccessManager;
class QNetworkReply;

// Crash reporting over the service's envelope protocol: each message becomes one event envelope
// POSTed to the project's envelope endpoint, carrying the breadcrumbs collected so far. Calls
// return at once; delivery runs on Qt's network stack and its outcome only matters for the
// service's "slow down" answer (429), after which envelopes are dropped until the time it names.
// Delivery is bounded (see DeliveryQueue): envelopes beyond the waiting line are dropped, oldest
// first, and the project's authentication never follows a redirect to another origin.
// Crash capture itself (signals, minidumps) is not done here. Main thread only.
class SentryEnvelopeReporter final : public QObject, public CrashReporting {
    Q_OBJECT
public:
    static constexpr int maxBreadcrumbs = 100;
    // Used when a 429 answer names no usable time.
    static constexpr double defaultRetryAfterSeconds = 60.0;

    // `release` is the application version sent with every event; `clock` stamps events and
    // breadcrumbs and measures the drop window.
    SentryEnvelopeReporter(const QString& release, Clock& clock, QObject* parent = nullptr)
        : SentryEnvelopeReporter(release, clock, DeliveryQueue::Limits(), parent) {}
    SentryEnvelopeReporter(const QString& release, Clock& clock, DeliveryQueue::Limits limits,
                           QObject* parent = nullptr);
    ~SentryEnvelopeReporter() override;

    // Starts (or restarts) with these options. A DSN that cannot be parsed leaves reporting off.
    void start(const CrashReportingOptions& options) override;
    std::optional<QString> captureMessage(const QString& message) override;
    void addBreadcrumb(const Breadcrumb& breadcrumb) override;

    bool isEnabled() const { return m_dsn.has_value(); }
    // Until when envelopes are dropped after a 429 (invalid when not dropping).
    QDateTime dropUntil() const { return m_dropUntil; }

private:
    struct StampedBreadcrumb {
        Breadcrumb breadcrumb;
        QDateTime timestamp;
    };

    QByteArray buildEnvelope(const QString& eventId, const QString& message, const QDateTime& now) const;
    void handleReply(QNetworkReply& reply);

    QString m_release;
    Clock& m_clock;
    QNetworkAccessManager* m_network;
    DeliveryQueue m_delivery;
    std::optional<SentryDsn> m_dsn;
    CrashReportingOptions m_options;
    std::deque<StampedBreadcrumb> m_breadcrumbs;
    QDateTime m_dropUntil;
};
