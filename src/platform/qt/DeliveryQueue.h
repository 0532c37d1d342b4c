#pragma once

#include <QByteArray>
#include <QNetworkRequest>
#include <QObject>
#include <chrono>
#include <deque>
#include <functional>

class QNetworkAccessManager;
class QNetworkReply;

// Fire-and-forget POSTs at a bounded cost, for reports that may be lost but must never pile up:
// a few requests on the wire at once, a bounded line waiting behind them (a new request pushes
// out the oldest waiting one), each request ended after a time-out however slowly its reply
// drips, reply bodies dropped as they arrive and aborted past a small cap, and no redirect
// followed to another origin. Only http and https URLs are sent. Main thread only.
class DeliveryQueue : public QObject {
    Q_OBJECT
public:
    struct Limits {
        // Below Qt's six connections per host, so that nothing waits unseen inside Qt.
        int maxInFlight = 4;
        int maxWaiting = 256;
        std::chrono::milliseconds timeout{60000};
        qint64 maxReplyBytes = 64 * 1024;
    };
    // Called once the request has ended, however it ended; the reply is still readable.
    using Finished = std::function<void(QNetworkReply&)>;

    DeliveryQueue(QNetworkAccessManager& network, Limits limits, QObject* parent = nullptr);
    ~DeliveryQueue() override;

    void post(QNetworkRequest request, QByteArray body, Finished finished = {});

    int inFlight() const { return m_inFlight; }
    int waiting() const { return static_cast<int>(m_waiting.size()); }

private:
    struct Pending {
        QNetworkRequest request;
        QByteArray body;
        Finished finished;
    };

    void startWaiting();

    QNetworkAccessManager& m_network;
    Limits m_limits;
    std::deque<Pending> m_waiting;
    int m_inFlight = 0;
};
