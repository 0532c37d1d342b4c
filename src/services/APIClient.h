#pragma once

#include <QByteArray>
#include <QCoro/QCoroTask>
#include <QMap>
#include <QNetworkRequest>
#include <QString>
#include <QUrl>
#include <chrono>
#include <memory>
#include <optional>

#include "models/BackendRecords.h"
#include "models/JsonDecodingError.h"
#include "platform/BundleInfo.h"
#include "services/APIError.h"
#include "services/TransportError.h"

class Cancellation;
class QNetworkAccessManager;

// The client of the app's own backend. The application creates one and hands it to the
// catalogue loader, the feature flags, start-up and the views that talk to the backend.
//
// Every request is a coroutine (tasks start at once) run on the main thread over the shared
// QNetworkAccessManager, makes exactly one attempt and throws on failure: APIError for the
// backend's answers, TransportError for anything the network or the URL prevented. Only http
// and https URLs are ever requested; Qt would otherwise PUT to file: URLs and write local files.
// Coroutines take their arguments by value and touch no member after their one suspension, so a
// caller may drop the task at any time.
class APIClient {
public:
    static constexpr std::chrono::milliseconds defaultTimeout{60000};

    // `baseURL` is an origin (scheme and host, no path), normally keyloom::build::apiBaseUrl.
    // `timeout` ends a request after that long without any traffic.
    APIClient(QNetworkAccessManager& network, const QUrl& baseURL, BundleInfo bundle,
              std::chrono::milliseconds timeout = defaultTimeout);
    APIClient(const APIClient&) = delete;
    APIClient& operator=(const APIClient&) = delete;

    const QUrl& baseURL() const { return m_baseURL; }

    // Stores the installation's credentials, replacing earlier ones.
    void configure(const QString& installId, const QString& secret);

    // HMAC-SHA256 of the UTF-8 message with the UTF-8 secret as key: 64 lower-case hex digits.
    static QString hmac(const QString& secret, const QString& message);

    // "X-Install-Id" and "X-Api-Key" (the install id signed with the secret); throws
    // APIError::notConfigured before configure(). Empty strings are accepted.
    QMap<QString, QString> authHeaders() const;

    // The four generic requests. `path` is relative to the base URL ("api/v1/shortcuts").
    template <typename Reply>
    QCoro::Task<Reply> get(QString path, bool auth);
    template <typename Reply, typename Body>
    QCoro::Task<Reply> post(QString path, Body body, bool auth);
    template <typename Reply, typename Body>
    QCoro::Task<Reply> put(QString path, Body body, bool auth);
    template <typename Reply>
    QCoro::Task<Reply> patch(QString path, bool auth);

    QCoro::Task<InstallRegisterResponse> registerInstall(QString installId);
    QCoro::Task<ShortcutsResponse> getShortcuts();
    QCoro::Task<FeaturesResponse> getFeatures();
    QCoro::Task<ProfileResponse> updateProfile(std::optional<QString> name, std::optional<QString> email);
    QCoro::Task<IssueCreateResponse> createIssue();
    QCoro::Task<IssuePatchResponse> markIssueUploaded(QString issueId);
    // Unauthenticated PUT of the text (text/plain) to a pre-signed URL; only status 200 succeeds.
    // A `cancellation`, when given, aborts the transfer; the upload then fails as cancelled.
    QCoro::Task<void> uploadToPresignedURL(QUrl url, QString content,
                                           std::shared_ptr<Cancellation> cancellation = nullptr);

    // True for absolute http/https URLs with a host: the only ones the client sends to.
    static bool isSendable(const QUrl& url);

private:
    // The field-less body of issue creation.
    struct Empty {
        QByteArray toJson() const { return QByteArrayLiteral("{}"); }
    };

    struct RawReply {
        std::optional<int> status;  // nothing when the reply is not HTTP
        QByteArray body;
    };

    // Sends a JSON call and returns the body of a 2xx reply; throws for everything else.
    QCoro::Task<QByteArray> sendJson(QByteArray method, QString path, std::optional<QByteArray> body, bool auth);
    QCoro::Task<RawReply> perform(QNetworkRequest request, QByteArray method, std::optional<QByteArray> body,
                                  std::shared_ptr<Cancellation> cancellation = nullptr);
    QNetworkRequest makeRequest(const QUrl& url) const;
    QUrl endpointURL(const QString& path) const;

    template <typename Reply>
    static Reply decodeBody(const QByteArray& body) {
        try {
            return decodeReply<Reply>(body);
        } catch (const JsonDecodingError& error) {
            throw APIError::decodingError(error.message());
        }
    }

    QNetworkAccessManager& m_network;
    QUrl m_baseURL;
    BundleInfo m_bundle;
    std::chrono::milliseconds m_timeout;
    std::optional<QString> m_installId;
    std::optional<QString> m_installSecret;
};

template <typename Reply>
QCoro::Task<Reply> APIClient::get(QString path, bool auth) {
    const QByteArray body = co_await sendJson(QByteArrayLiteral("GET"), std::move(path), std::nullopt, auth);
    co_return decodeBody<Reply>(body);
}

template <typename Reply, typename Body>
QCoro::Task<Reply> APIClient::post(QString path, Body body, bool auth) {
    const QByteArray reply = co_await sendJson(QByteArrayLiteral("POST"), std::move(path), body.toJson(), auth);
    co_return decodeBody<Reply>(reply);
}

template <typename Reply, typename Body>
QCoro::Task<Reply> APIClient::put(QString path, Body body, bool auth) {
    const QByteArray reply = co_await sendJson(QByteArrayLiteral("PUT"), std::move(path), body.toJson(), auth);
    co_return decodeBody<Reply>(reply);
}

template <typename Reply>
QCoro::Task<Reply> APIClient::patch(QString path, bool auth) {
    const QByteArray body = co_await sendJson(QByteArrayLiteral("PATCH"), std::move(path), std::nullopt, auth);
    co_return decodeBody<Reply>(body);
}
