#include "platform/qt/ReplyGuard.h"

#include <QCoreApplication>
#include <QEvent>
#include <QNetworkReply>
#include <QNetworkRequest>
#include <QPointer>
#include <QTimer>
#include <algorithm>
#include <utility>

namespace {

// What Qt's network thread may hold for us between two reads; the rest waits in the socket.
constexpr qint64 kReadBufferBytes = 256 * 1024;

// Posted to a reply as the guard starts watching it: whatever was queued on the reply before has
// been delivered once it arrives.
const QEvent::Type kWatchStarted = static_cast<QEvent::Type>(QEvent::registerEventType());

int effectivePort(const QUrl& url) {
    const QString scheme = url.scheme().toLower();
    return url.port(scheme == u"https" ? 443 : scheme == u"http" ? 80 : -1);
}

bool isHttps(const QUrl& url) {
    return url.scheme().compare(QLatin1String("https"), Qt::CaseInsensitive) == 0;
}

}  // namespace

void ReplyGuard::prepare(QNetworkRequest& request) {
    // Every hop waits for the guard: Qt's same-origin policy compares ports as written (http://h/ and
    // http://h:80/ would differ), and under its other policies Qt queues the next request, body or
    // not, before anyone can refuse it.
    request.setAttribute(QNetworkRequest::RedirectPolicyAttribute, QNetworkRequest::UserVerifiedRedirectPolicy);
    // The guard ends a loop itself, one hop before Qt would: Qt ends it with odd errors (an
    // "Unknown error", or two errors on one reply) when the peer closes each connection.
    request.setMaximumRedirectsAllowed(maxRedirects + 1);
    request.setAttribute(QNetworkRequest::Http2AllowedAttribute, false);
}

ReplyGuard* ReplyGuard::watch(QNetworkReply* reply, qint64 maxBytes, Body body,
                              std::optional<std::chrono::milliseconds> deadline, Redirects redirects) {
    auto* guard = new ReplyGuard(reply, maxBytes, body, redirects);
    if (deadline) {
        QTimer::singleShot(*deadline, guard, [guard] { guard->stop(Breach::DeadlinePassed); });
    }
    return guard;
}

bool ReplyGuard::isSameOrigin(const QUrl& a, const QUrl& b) {
    return !a.host().isEmpty() && a.scheme().compare(b.scheme(), Qt::CaseInsensitive) == 0 &&
           a.host().compare(b.host(), Qt::CaseInsensitive) == 0 && effectivePort(a) == effectivePort(b);
}

bool ReplyGuard::isWebUrl(const QUrl& url) {
    const QString scheme = url.scheme().toLower();
    return url.isValid() && !url.isRelative() && !url.host().isEmpty() &&
           (scheme == QLatin1String("http") || scheme == QLatin1String("https"));
}

ReplyGuard::ReplyGuard(QNetworkReply* reply, qint64 maxBytes, Body body, Redirects redirects)
    : QObject(reply),
      m_reply(reply),
      m_origin(reply->url()),
      m_maxBytes(maxBytes),
      m_readBufferBytes(std::min(maxBytes + 1, kReadBufferBytes)),
      m_mode(body),
      m_redirects(redirects),
      m_operation(reply->operation()),
      m_overHttps(isHttps(reply->url())) {
    connect(reply, &QNetworkReply::redirected, this, &ReplyGuard::redirected);
    connect(reply, &QNetworkReply::metaDataChanged, this, [this] {
        // A declared length past the cap fails at once instead of after the bytes arrived.
        bool ok = false;
        const qint64 declared = m_reply->header(QNetworkRequest::ContentLengthHeader).toLongLong(&ok);
        if (!ok || hasNoBody()) {
            return;
        }
        if (declared > m_maxBytes) {
            stop(Breach::TooLarge);
        } else if (m_mode == Body::Keep && declared > m_body.capacity()) {
            m_body.reserve(declared);  // one block, instead of copying it over as it grows
        }
    });
    connect(reply, &QNetworkReply::readyRead, this, &ReplyGuard::readArrived);
    // A GET has already been handed to the network thread: the limit follows it at once. A request
    // with a body starts later, in a call already queued on the reply (see eventFilter()).
    limitReadBuffer();
    reply->installEventFilter(this);
    QCoreApplication::postEvent(reply, new QEvent(kWatchStarted));
}

bool ReplyGuard::eventFilter(QObject* watched, QEvent* event) {
    if (watched != m_reply) {
        return false;
    }
    if (event->type() == kWatchStarted) {
        m_reply->removeEventFilter(this);
        return true;
    }
    if (event->type() != QEvent::MetaCall) {
        return false;
    }
    // Only calls queued before the guard started watching get here: Qt's start of a request with a
    // body, or what the network thread already posted for a GET. Qt 6.4 would send the request even
    // after the reply was aborted before its start came round; on an ended reply they are dropped.
    if (m_reply->isFinished()) {
        return true;
    }
    // Qt's network thread drops a read-buffer size that reaches it before that request runs:
    // unlimited, it reads an endless body as fast as the peer sends it and never gets to an abort. So
    // the call is run here and the size handed over right after it, before a byte of the body arrives.
    const QPointer<ReplyGuard> self(this);
    watched->event(event);
    if (self) {
        limitReadBuffer();
    }
    return true;
}

void ReplyGuard::redirected(const QUrl& target) {
    // Qt waits for redirectAllowed(): nothing of the next hop is queued yet.
    const QUrl next = m_reply->url().resolved(target);
    if (++m_redirectCount > maxRedirects) {
        stop(Breach::TooManyRedirects);
        return;
    }
    if (!mayFollow(next)) {
        stop(Breach::RefusedRedirect);
        return;
    }
    // After a 301 or 302 Qt goes on with a GET that has dropped the body (only a 303 asks for that),
    // and nothing can put it back: the hop runs its course, but the exchange can no longer succeed.
    const int status = m_reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt();
    if ((status == 301 || status == 302) && m_operation != QNetworkAccessManager::GetOperation &&
        m_operation != QNetworkAccessManager::HeadOperation) {
        m_bodyLost = true;
    }
    m_overHttps = m_overHttps || isHttps(next);
    m_operation = m_reply->operation();
    // Qt 6.4 leaves the worker of each hop on its network thread connected to the reply's signal that
    // starts a request, until that thread gets round to deleting it; one still there when the next
    // hop starts sends its own request again, now and then after the reply has ended. Only the next
    // hop's worker, connected anew, is to start.
    if (m_reply->metaObject()->indexOfSignal("startHttpRequest()") >= 0) {
        disconnect(m_reply, SIGNAL(startHttpRequest()), nullptr, nullptr);
    }
    emit m_reply->redirectAllowed();
    // Qt 6.4 connects its private followRedirect() to redirectAllowed() again for every hop it starts,
    // so the connections pile up and a chain of redirects fans out into ever more requests; the call
    // queued just now is all this hop needs, and the next hop connects one anew.
    if (m_reply->metaObject()->indexOfSlot("followRedirect()") >= 0) {
        disconnect(m_reply, &QNetworkReply::redirectAllowed, m_reply, nullptr);
    }
    runNextHop();
}

bool ReplyGuard::mayFollow(const QUrl& target) const {
    if (!isWebUrl(target) || (m_overHttps && !isHttps(target))) {
        return false;
    }
    return m_redirects == Redirects::NoDowngrade || isSameOrigin(m_origin, target);
}

bool ReplyGuard::hasNoBody() const {
    const int status = m_reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt();
    return m_operation == QNetworkAccessManager::HeadOperation || status == 204 || status == 304 ||
           (status >= 100 && status < 200);
}

void ReplyGuard::runNextHop() {
    // Qt 6.4 starts the next hop in two calls queued on the reply, the first queuing the second. They
    // run here, so that no request is left queued for an abort to overtake, and the read-buffer size
    // (see eventFilter()) is handed over right after them. Whatever else was queued on the reply runs
    // with them, in its order.
    for (int round = 0; round < 2 && !m_reply->isFinished(); ++round) {
        QCoreApplication::sendPostedEvents(m_reply, QEvent::MetaCall);
    }
    limitReadBuffer();
}

void ReplyGuard::limitReadBuffer() {
    if (!m_reply->isFinished()) {
        m_reply->setReadBufferSize(m_readBufferBytes);
    }
}

ReplyGuard::Breach ReplyGuard::breach() const {
    if (m_breach != Breach::None) {
        return m_breach;
    }
    switch (m_reply->error()) {
        case QNetworkReply::InsecureRedirectError:
            return Breach::RefusedRedirect;
        case QNetworkReply::TooManyRedirectsError:
            return Breach::TooManyRedirects;
        default:
            return m_bodyLost ? Breach::RefusedRedirect : Breach::None;
    }
}

void ReplyGuard::readArrived() {
    if (m_breach != Breach::None) {
        return;
    }
    if (m_mode == Body::Discard) {
        m_received += m_reply->skip(m_reply->bytesAvailable());
    } else {
        // Read straight into the body: no copy of a chunk, no growing past what arrived.
        const qint64 available = m_reply->bytesAvailable();
        m_received += available;
        if (m_received <= m_maxBytes) {
            const qsizetype start = m_body.size();
            if (m_received > m_body.capacity()) {
                // Doubling, but never past the cap: resize() alone would round a body near the cap up
                // to twice its size.
                m_body.reserve(std::min(m_maxBytes, std::max(m_received, 2 * m_body.capacity())));
            }
            m_body.resize(start + available);
            m_body.resize(start + std::max<qint64>(0, m_reply->read(m_body.data() + start, available)));
        }
    }
    if (m_received > m_maxBytes) {
        stop(Breach::TooLarge);
    }
}

void ReplyGuard::stop(Breach breach) {
    if (m_breach != Breach::None || m_reply->isFinished()) {
        return;
    }
    // Set before abort(): the reply reports its end from inside that call.
    m_breach = breach;
    m_body = QByteArray();
    m_reply->abort();
}

QByteArray ReplyGuard::takeBody() {
    if (m_reply->isOpen()) {
        readArrived();
    }
    return std::exchange(m_body, QByteArray());
}
