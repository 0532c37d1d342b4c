#include "platform/qt/ReplyGuard.h"

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

int effectivePort(const QUrl& url) {
    const QString scheme = url.scheme().toLower();
    return url.port(scheme == u"https" ? 443 : scheme == u"http" ? 80 : -1);
}

bool isHttps(const QUrl& url) {
    return url.scheme().compare(QLatin1String("https"), Qt::CaseInsensitive) == 0;
}

}  // namespace

void ReplyGuard::prepare(QNetworkRequest& request, Redirects redirects) {
    // Qt's own policies, not the user-verified one: Qt 6.4 connects its follow-up to
    // redirectAllowed() again on every hop, so a chain of redirects would fan out into ever more
    // requests of one reply (and end as a bogus status 100). The guard checks each hop again.
    request.setAttribute(QNetworkRequest::RedirectPolicyAttribute, redirects == Redirects::SameOrigin
                                                                       ? QNetworkRequest::SameOriginRedirectPolicy
                                                                       : QNetworkRequest::NoLessSafeRedirectPolicy);
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
      m_overHttps(isHttps(reply->url())) {
    // A GET has already been handed to the network thread: the limit follows it at once.
    limitReadBuffer();
    reply->installEventFilter(this);
    connect(reply, &QNetworkReply::redirected, this, [this](const QUrl& target) {
        // Qt has queued the next request already; stopping here drops it (see eventFilter()).
        const QUrl next = m_reply->url().resolved(target);
        if (++m_redirectCount > maxRedirects) {
            stop(Breach::TooManyRedirects);
        } else if (mayFollow(next)) {
            m_overHttps = m_overHttps || isHttps(next);
        } else {
            stop(Breach::RefusedRedirect);
        }
    });
    connect(reply, &QNetworkReply::metaDataChanged, this, [this] {
        // A declared length past the cap fails at once instead of after the bytes arrived.
        bool ok = false;
        const qint64 declared = m_reply->header(QNetworkRequest::ContentLengthHeader).toLongLong(&ok);
        if (ok && declared > m_maxBytes) {
            stop(Breach::TooLarge);
        } else if (ok && m_mode == Body::Keep && declared > m_body.capacity()) {
            m_body.reserve(declared);  // one block, instead of copying it over as it grows
        }
    });
    connect(reply, &QNetworkReply::readyRead, this, &ReplyGuard::readArrived);
}

bool ReplyGuard::mayFollow(const QUrl& target) const {
    if (!isWebUrl(target) || (m_overHttps && !isHttps(target))) {
        return false;
    }
    return m_redirects == Redirects::NoDowngrade || isSameOrigin(m_origin, target);
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
            return Breach::None;
    }
}

bool ReplyGuard::eventFilter(QObject* watched, QEvent* event) {
    if (watched != m_reply || event->type() != QEvent::MetaCall) {
        return false;
    }
    // Queued work for a reply that has ended (such as the request of a redirect refused meanwhile)
    // is dropped: Qt would still send it.
    if (m_reply->isFinished()) {
        return true;
    }
    // Qt 6.4 starts a request with a body, and each redirect it follows, in a queued call on the
    // reply, and its network thread drops a read-buffer size that reaches it before that request
    // runs: unlimited, it reads an endless body as fast as the peer sends it and never gets to an
    // abort. So the call is run here and the size handed over right after it, in the same turn,
    // before a byte of the new body can arrive.
    const QPointer<ReplyGuard> self(this);
    watched->event(event);
    if (self) {
        limitReadBuffer();
    }
    return true;
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
