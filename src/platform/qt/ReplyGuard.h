#pragma once

#include <QByteArray>
#include <QNetworkAccessManager>
#include <QObject>
#include <QUrl>
#include <chrono>
#include <optional>

class QNetworkReply;
class QNetworkRequest;

// Keeps one network reply within bounds. Redirects are followed under a policy: by default only
// within the origin of the request (scheme, host and port, a missing port being the scheme's
// default), because Qt re-sends every header of the request, credentials included, to wherever a
// redirect points; never from https to http; and at most maxRedirects times. A request with a body
// that a 301 or 302 turns into a GET without it never succeeds. Each hop is decided before Qt queues
// its request, so a refused one is never sent and an allowed one is sent once; of the calls queued
// on the reply, the guard drops only a request's start that an abort overtook, and everything else
// runs. The body is read as it arrives, kept or dropped, and the transfer is aborted once it passes
// a size cap (a reply that has no body by its method or status is not held to it by its declared
// length), or when an optional deadline passes however slowly the reply drips. Qt's network thread
// holds at most a small read buffer of the reply meanwhile, so an endless reply costs no more memory
// than its cap, however busy the main thread is, and an abort closes the connection at once. A guard
// is a child of its reply. Main thread only.
class ReplyGuard : public QObject {
    Q_OBJECT
public:
    enum class Body { Keep, Discard };
    // Which redirects may be followed: within the origin only, or to any http or https URL as long
    // as no request made over https goes on over http.
    enum class Redirects { SameOrigin, NoDowngrade };
    // Why the guard aborted the transfer, if it did.
    enum class Breach { None, RefusedRedirect, TooManyRedirects, TooLarge, DeadlinePassed };

    static constexpr int maxRedirects = 10;

    // Leaves every redirect to the guard and keeps the request on HTTP/1.1 (Qt's HTTP/2 reads a body
    // however little of it is taken); call on the request before it is sent.
    static void prepare(QNetworkRequest& request);
    // Watches `reply`, sent with a prepared request, from now on. `deadline` counts from now.
    static ReplyGuard* watch(QNetworkReply* reply, qint64 maxBytes, Body body,
                             std::optional<std::chrono::milliseconds> deadline = std::nullopt,
                             Redirects redirects = Redirects::SameOrigin);

    // Same scheme, host and port (a missing port is the scheme's default).
    static bool isSameOrigin(const QUrl& a, const QUrl& b);
    // Absolute http/https URLs with a host: the only ones sent to (Qt would also PUT to file: URLs).
    static bool isWebUrl(const QUrl& url);

    // The guard's own reason, or Qt's when it refused a redirect itself; RefusedRedirect too when a
    // redirect dropped the body of the request.
    Breach breach() const;
    // The body kept so far, with whatever the finished reply still holds.
    QByteArray takeBody();

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    ReplyGuard(QNetworkReply* reply, qint64 maxBytes, Body body, Redirects redirects);
    void redirected(const QUrl& target);
    void runNextHop();
    bool mayFollow(const QUrl& target) const;
    bool hasNoBody() const;
    void limitReadBuffer();
    void readArrived();
    void stop(Breach breach);

    QNetworkReply* m_reply;
    QUrl m_origin;
    qint64 m_maxBytes;
    qint64 m_readBufferBytes;
    Body m_mode;
    Redirects m_redirects;
    QNetworkAccessManager::Operation m_operation;  // of the hop under way
    int m_redirectCount = 0;
    bool m_bodyLost = false;  // a redirect turned the request into a GET without its body
    bool m_overHttps;
    qint64 m_received = 0;
    QByteArray m_body;
    Breach m_breach = Breach::None;
};
