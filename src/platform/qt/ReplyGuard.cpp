#include "platform/qt/ReplyGuard.h"

#include <QNetworkReply>
#include <QNetworkRequest>
#include <QTimer>
#include <algorithm>
#include <utility>

namespace {

// What Qt may hold for us between two reads; the rest waits in the socket.
constexpr qint64 kReadBufferBytes = 256 * 1024;

int effectivePort(const QUrl& url) {
    const QString scheme = url.scheme().toLower();
    return url.port(scheme == u"https" ? 443 : scheme == u"http" ? 80 : -1);
}

}  // namespace

void ReplyGuard::prepare(QNetworkRequest& request) {
    request.setAttribute(QNetworkRequest::RedirectPolicyAttribute, QNetworkRequest::UserVerifiedRedirectPolicy);
}

ReplyGuard* ReplyGuard::watch(QNetworkReply* reply, qint64 maxBytes, Body body,
                              std::optional<std::chrono::milliseconds> deadline) {
    auto* guard = new ReplyGuard(reply, maxBytes, body);
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

ReplyGuard::ReplyGuard(QNetworkReply* reply, qint64 maxBytes, Body body)
    : QObject(reply), m_reply(reply), m_origin(reply->url()), m_maxBytes(maxBytes), m_mode(body) {
    reply->setReadBufferSize(std::min(maxBytes + 1, kReadBufferBytes));
    connect(reply, &QNetworkReply::redirected, this, [this](const QUrl& target) {
        if (isSameOrigin(m_origin, m_reply->url().resolved(target))) {
            emit m_reply->redirectAllowed();
        } else {
            stop(Breach::CrossOriginRedirect);
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
    m_body.clear();
    m_reply->abort();
}

QByteArray ReplyGuard::takeBody() {
    if (m_reply->isOpen()) {
        readArrived();
    }
    return std::exchange(m_body, QByteArray());
}
