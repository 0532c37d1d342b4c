#include "platform/qt/DeliveryQueue.h"

#include <QNetworkAccessManager>
#include <QNetworkReply>

#include "platform/qt/ReplyGuard.h"

DeliveryQueue::DeliveryQueue(QNetworkAccessManager& network, Limits limits, QObject* parent)
    : QObject(parent), m_network(network), m_limits(limits) {}

DeliveryQueue::~DeliveryQueue() = default;

void DeliveryQueue::post(QNetworkRequest request, QByteArray body, Finished finished) {
    // Qt would happily POST to other schemes (file: among them).
    if (!ReplyGuard::isWebUrl(request.url())) {
        return;
    }
    m_waiting.push_back({std::move(request), std::move(body), std::move(finished)});
    while (m_waiting.size() > static_cast<size_t>(m_limits.maxWaiting)) {
        m_waiting.pop_front();
    }
    startWaiting();
}

void DeliveryQueue::startWaiting() {
    while (m_inFlight < m_limits.maxInFlight && !m_waiting.empty()) {
        Pending next = std::move(m_waiting.front());
        m_waiting.pop_front();
        ReplyGuard::prepare(next.request);
        QNetworkReply* reply = m_network.post(next.request, next.body);
        ReplyGuard::watch(reply, m_limits.maxReplyBytes, ReplyGuard::Body::Discard, m_limits.timeout);
        ++m_inFlight;
        connect(reply, &QNetworkReply::finished, this, [this, reply, finished = std::move(next.finished)] {
            reply->deleteLater();
            --m_inFlight;
            if (finished) {
                finished(*reply);
            }
            // On a later turn: a reply may end from inside a call on another reply.
            QMetaObject::invokeMethod(this, &DeliveryQueue::startWaiting, Qt::QueuedConnection);
        });
    }
}
