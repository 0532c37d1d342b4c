#pragma once

#include <QObject>
#include <QString>
#include <QUrl>
#include <QVariantMap>

#include "platform/qt/DeliveryQueue.h"

class QNetworkAccessManager;

// Product analytics: one JSON POST per event to the capture endpoint, fire and forget. The service
// has a network manager of its own that keeps no cookies, no cache and no credentials between
// requests. Delivery is bounded (see DeliveryQueue): when the endpoint is slow or unreachable,
// events beyond the waiting line are dropped, oldest first. Main thread only.
class PostHogService : public QObject {
    Q_OBJECT
public:
    // The project key built into the application.
    static const QString builtInApiKey;
    // A key beginning with this counts as no key at all.
    static const QString placeholderPrefix;

    // `endpoint` is the capture URL; nothing is ever sent unless it is an http or https URL.
    explicit PostHogService(const QUrl& endpoint, QObject* parent = nullptr)
        : PostHogService(endpoint, DeliveryQueue::Limits(), parent) {}
    PostHogService(const QUrl& endpoint, DeliveryQueue::Limits limits, QObject* parent = nullptr);
    ~PostHogService() override;

    // Takes `apiKey` unless it is empty or a placeholder; always takes `distinctId`.
    void setup(const QString& apiKey, const QString& distinctId);

    // Sends `event` with `properties` (QString, bool, integer and double values; nested maps and
    // lists of those). Never fails towards the caller: an event that cannot be encoded or
    // delivered is dropped.
    void capture(const QString& event, const QVariantMap& properties = {});

    QString apiKey() const { return m_apiKey; }
    QString distinctId() const { return m_distinctId; }
    QUrl endpoint() const { return m_endpoint; }

private:
    QString m_apiKey;
    QString m_distinctId;
    QUrl m_endpoint;
    QNetworkAccessManager* m_session;
    DeliveryQueue m_delivery;
};
