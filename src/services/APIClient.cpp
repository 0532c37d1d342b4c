#include "services/APIClient.h"

#include <QCoro/QCoroNetworkReply>
#include <QMessageAuthenticationCode>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QPointer>
#include <QScopeGuard>
#include <algorithm>
#include <memory>

#include "platform/qt/ReplyGuard.h"
#include "services/Cancellation.h"

namespace {

const QString kInstallIdHeader = QStringLiteral("X-Install-Id");
const QString kApiKeyHeader = QStringLiteral("X-Api-Key");

// Header values cannot hold line breaks or NUL; Qt would write them out as they are.
bool isValidHeaderValue(const QString& value) {
    for (const QChar c : value) {
        if (c == QLatin1Char('\r') || c == QLatin1Char('\n') || c.unicode() == 0) {
            return false;
        }
    }
    return true;
}

TransportError unsupportedURL() {
    return TransportError(QNetworkReply::ProtocolUnknownError, QStringLiteral("unsupported URL"));
}

TransportError cancelledError() {
    return TransportError(QNetworkReply::OperationCanceledError, QStringLiteral("cancelled"));
}

TransportError redirectRefused() {
    return TransportError(QNetworkReply::InsecureRedirectError, QStringLiteral("redirect refused"));
}

TransportError timedOut() {
    return TransportError(QNetworkReply::TimeoutError, QStringLiteral("The request timed out."));
}

// Qt resolves dot segments and splits at "/", "?" and "#", so such an id would name another path.
bool staysOnePathSegment(const QString& id) {
    return !id.isEmpty() && id != u"." && id != u".." && !id.contains(QLatin1Char('/')) &&
           !id.contains(QLatin1Char('?')) && !id.contains(QLatin1Char('#'));
}

bool isRedirectStatus(int status) {
    return status == 301 || status == 302 || status == 303 || status == 307 || status == 308;
}

}  // namespace

APIClient::APIClient(QNetworkAccessManager& network, const QUrl& baseURL, BundleInfo bundle,
                     std::chrono::milliseconds timeout)
    : APIClient(network, baseURL, std::move(bundle), Limits{timeout}) {}

APIClient::APIClient(QNetworkAccessManager& network, const QUrl& baseURL, BundleInfo bundle, Limits limits)
    : m_network(network), m_baseURL(baseURL), m_bundle(std::move(bundle)), m_limits(limits) {}

void APIClient::configure(const QString& installId, const QString& secret) {
    m_installId = installId;
    m_installSecret = secret;
}

QString APIClient::hmac(const QString& secret, const QString& message) {
    const QByteArray code =
        QMessageAuthenticationCode::hash(message.toUtf8(), secret.toUtf8(), QCryptographicHash::Sha256);
    return QString::fromLatin1(code.toHex());
}

QMap<QString, QString> APIClient::authHeaders() const {
    if (!m_installId || !m_installSecret) {
        throw APIError::notConfigured();
    }
    return {
        {kInstallIdHeader, *m_installId},
        {kApiKeyHeader, hmac(*m_installSecret, *m_installId)},
    };
}

bool APIClient::isSendable(const QUrl& url) {
    return ReplyGuard::isWebUrl(url);
}

QUrl APIClient::endpointURL(const QString& path) const {
    QUrl url = m_baseURL;
    QString basePath = url.path(QUrl::FullyDecoded);
    while (basePath.endsWith(QLatin1Char('/'))) {
        basePath.chop(1);
    }
    // Decoded mode: the path is literal text, so "?", "#" and "%" in an id are escaped, not parsed.
    url.setPath(basePath + QLatin1Char('/') + path, QUrl::DecodedMode);
    return url;
}

QNetworkRequest APIClient::makeRequest(const QUrl& url) const {
    QNetworkRequest request(url);
    // An inactivity time-out, as the platform's request time-out is.
    request.setTransferTimeout(static_cast<int>(m_limits.timeout.count()));
    // Redirects stay within the origin (see perform()).
    ReplyGuard::prepare(request);
    return request;
}

QCoro::Task<QByteArray> APIClient::sendJson(QByteArray method, QString path, std::optional<QByteArray> body,
                                            bool auth) {
    QNetworkRequest request = makeRequest(endpointURL(path));
    if (body) {
        request.setHeader(QNetworkRequest::ContentTypeHeader, QByteArrayLiteral("application/json"));
    }
    if (auth) {
        const QMap<QString, QString> headers = authHeaders();  // may throw notConfigured: nothing sent
        for (auto it = headers.cbegin(); it != headers.cend(); ++it) {
            if (!isValidHeaderValue(it.value())) {
                throw TransportError(QNetworkReply::ProtocolInvalidOperationError,
                                     QStringLiteral("invalid value for header %1").arg(it.key()));
            }
            request.setRawHeader(it.key().toUtf8(), it.value().toUtf8());
        }
    }

    RawReply reply = co_await perform(std::move(request), std::move(method), std::move(body), true, m_limits.deadline);
    if (!reply.status) {
        throw APIError::invalidResponse();
    }
    if (*reply.status < 200 || *reply.status > 299) {
        throw APIError::httpError(*reply.status);
    }
    co_return std::move(reply.body);
}

QCoro::Task<APIClient::RawReply> APIClient::perform(QNetworkRequest request, QByteArray method,
                                                    std::optional<QByteArray> body, bool keepBody,
                                                    std::chrono::milliseconds deadline,
                                                    std::shared_ptr<Cancellation> cancellation) {
    if (!isSendable(request.url())) {
        throw unsupportedURL();
    }
    if (cancellation && cancellation->isCancelled()) {
        throw cancelledError();
    }
    QNetworkReply* sent = nullptr;
    if (method == "GET") {
        sent = m_network.get(request);
    } else {
        // An empty body still gets "Content-Length: 0"; without it some servers wait for a body.
        sent = m_network.sendCustomRequest(request, method, body.value_or(QByteArray()));
    }
    // The reply belongs to the access manager; if that goes first, the pointer turns null.
    QPointer<QNetworkReply> reply(sent);
    const auto release = qScopeGuard([reply] {
        if (reply) {
            reply->deleteLater();
        }
    });
    // A child of the reply: it lives exactly as long.
    ReplyGuard* guard =
        ReplyGuard::watch(sent, maxReplyBytes, keepBody ? ReplyGuard::Body::Keep : ReplyGuard::Body::Discard, deadline);

    auto cancelled = std::make_shared<bool>(false);
    QMetaObject::Connection cancelConnection;
    if (cancellation) {
        cancelConnection = QObject::connect(cancellation.get(), &Cancellation::cancelled, sent, [sent, cancelled] {
            if (sent->isRunning()) {
                *cancelled = true;
                sent->abort();
            }
        });
    }

    co_await sent;
    QObject::disconnect(cancelConnection);

    if (!reply || *cancelled) {
        throw cancelledError();
    }
    switch (guard->breach()) {
        case ReplyGuard::Breach::None:
            break;
        case ReplyGuard::Breach::RefusedRedirect:
            throw redirectRefused();
        case ReplyGuard::Breach::TooManyRedirects:
            throw TransportError(QNetworkReply::TooManyRedirectsError, QStringLiteral("too many redirects"));
        case ReplyGuard::Breach::TooLarge:
            throw TransportError(QNetworkReply::UnknownContentError, QStringLiteral("reply too large"));
        case ReplyGuard::Breach::DeadlinePassed:
            throw timedOut();
    }
    const QNetworkReply::NetworkError error = reply->error();
    const QVariant status = reply->attribute(QNetworkRequest::HttpStatusCodeAttribute);
    // A redirect that Qt itself would not follow (to a scheme other than http or https) is as
    // refused as one to another origin.
    if (status.isValid() && isRedirectStatus(status.toInt()) && reply->hasRawHeader("Location")) {
        throw redirectRefused();
    }
    // Network-layer errors (below 100) are transport failures even after a status line arrived;
    // the others accompany an HTTP status and leave the decision to the status code.
    if (error != QNetworkReply::NoError && (error < 100 || !status.isValid())) {
        // Nothing else here aborts a reply (the guard's aborts and a cancellation are handled above), so a
        // cancelled transfer is Qt's transfer time-out.
        if (error == QNetworkReply::OperationCanceledError) {
            throw timedOut();
        }
        throw TransportError(error, reply->errorString());
    }
    RawReply out;
    if (status.isValid()) {
        out.status = status.toInt();
    }
    out.body = guard->takeBody();
    co_return out;
}

QCoro::Task<InstallRegisterResponse> APIClient::registerInstall(QString installId) {
    InstallRegisterRequest body;
    body.installId = std::move(installId);
    body.appVersion = m_bundle.shortVersion.value_or(QStringLiteral("1.0.0"));
    body.macosVersion = m_bundle.operatingSystemVersionString;
    body.architecture = m_bundle.architecture;
    return post<InstallRegisterResponse>(QStringLiteral("api/v1/install/register"), std::move(body), false);
}

QCoro::Task<ShortcutsResponse> APIClient::getShortcuts() {
    return get<ShortcutsResponse>(QStringLiteral("api/v1/shortcuts"), true);
}

QCoro::Task<FeaturesResponse> APIClient::getFeatures() {
    return get<FeaturesResponse>(QStringLiteral("api/v1/features"), true);
}

QCoro::Task<ProfileResponse> APIClient::updateProfile(std::optional<QString> name, std::optional<QString> email) {
    return put<ProfileResponse>(QStringLiteral("api/v1/profile"),
                                ProfileUpdateRequest{std::move(name), std::move(email)}, true);
}

QCoro::Task<IssueCreateResponse> APIClient::createIssue() {
    return post<IssueCreateResponse>(QStringLiteral("api/v1/issues"), Empty{}, true);
}

QCoro::Task<IssuePatchResponse> APIClient::markIssueUploaded(QString issueId) {
    if (!staysOnePathSegment(issueId)) {
        throw unsupportedURL();
    }
    co_return co_await patch<IssuePatchResponse>(QStringLiteral("api/v1/issues/") + issueId, true);
}

QCoro::Task<void> APIClient::uploadToPresignedURL(QUrl url, QString content,
                                                  std::shared_ptr<Cancellation> cancellation) {
    // Checked here too, before anything else is built: a file: or data: URL never reaches Qt.
    if (!isSendable(url)) {
        throw unsupportedURL();
    }
    QNetworkRequest request = makeRequest(url);
    request.setHeader(QNetworkRequest::ContentTypeHeader, QByteArrayLiteral("text/plain"));
    QByteArray body = content.toUtf8();
    // However slow the line, a large body is given the time to go out.
    const auto deadline =
        m_limits.deadline +
        std::chrono::milliseconds(body.size() * 1000 / std::max<qint64>(1, m_limits.uploadBytesPerSecond));
    // The reply body is of no interest: dropped as it arrives.
    const RawReply reply = co_await perform(std::move(request), QByteArrayLiteral("PUT"), std::move(body), false,
                                            deadline, std::move(cancellation));
    if (reply.status != 200) {
        throw APIError::httpError(reply.status.value_or(0));
    }
}
