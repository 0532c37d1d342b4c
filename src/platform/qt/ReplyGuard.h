#pragma once

#include <QByteArray>
#include <QObject>
#include <QUrl>
#include <chrono>
#include <optional>

class QNetworkReply;
class QNetworkRequest;

// Keeps one network reply within bounds. Redirects are followed only within the origin of the
// request (scheme, host and port), because Qt re-sends every header of the request, credentials
// included, to wherever a redirect points. The body is read as it arrives, kept or dropped, and
// the transfer is aborted once it passes a size cap, or when an optional deadline passes however
// slowly the reply drips. A guard is a child of its reply. Main thread only.
class ReplyGuard : public QObject {
    Q_OBJECT
public:
    enum class Body { Keep, Discard };
    // Why the guard aborted the transfer, if it did.
    enum class Breach { None, CrossOriginRedirect, TooLarge, DeadlinePassed };

    // Lets the guard decide on every redirect; call on the request before it is sent.
    static void prepare(QNetworkRequest& request);
    // Watches `reply`, sent with a prepared request, from now on. `deadline` counts from now.
    static ReplyGuard* watch(QNetworkReply* reply, qint64 maxBytes, Body body,
                             std::optional<std::chrono::milliseconds> deadline = std::nullopt);

    // Same scheme, host and port (a missing port is the scheme's default).
    static bool isSameOrigin(const QUrl& a, const QUrl& b);
    // Absolute http/https URLs with a host: the only ones sent to (Qt would also PUT to file: URLs).
    static bool isWebUrl(const QUrl& url);

    Breach breach() const { return m_breach; }
    // The body kept so far, with whatever the finished reply still holds.
    QByteArray takeBody();

private:
    ReplyGuard(QNetworkReply* reply, qint64 maxBytes, Body body);
    void readArrived();
    void stop(Breach breach);

    QNetworkReply* m_reply;
    QUrl m_origin;
    qint64 m_maxBytes;
    Body m_mode;
    qint64 m_received = 0;
    QByteArray m_body;
    Breach m_breach = Breach::None;
};
