#pragma once

#include <QByteArray>
#include <QCoro/QCoroTask>
#include <QMap>
#include <QNetworkRequest>
#include <QString>
#include <QUrl>
#include <chrono>
#include <exception>
#include <memory>
#include <optional>

#include "models/BackendRecords.h"
#include "models/JsonDecodingError.h"
#include "platform/BundleInfo.h"
#include "services/APIError.h"
#include "services/OffThreadWork.h"
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
// A redirect is followed only within the origin of the request, since Qt would re-send the
// credentials wherever it points, and at most a few times; any other redirect fails as a
// TransportError, and so does a request whose body a 301 or 302 dropped. A reply body past
// maxReplyBytes aborts the request (a TransportError too), as do the time-out without traffic and
// the overall deadline ("The request timed out."). Reply bodies are decoded on a worker thread so
// that a large one never holds up the event loop. Coroutines take their arguments by value and
// touch no member after their first suspension, so a caller may drop the task at any time.
class APIClient {
public:
    static constexpr std::chrono::milliseconds defaultTimeout{60000};
    static constexpr qint64 maxReplyBytes = 8 * 1024 * 1024;

    struct Limits {
        // Ends a request after this long without any traffic.
        std::chrono::milliseconds timeout = defaultTimeout;
        // Ends a request after this long however slowly its reply drips; an upload gets the time
        // its body takes at uploadBytesPerSecond on top.
        std::chrono::milliseconds deadline{120000};
        qint64 uploadBytesPerSecond = 16 * 1024;
    };

    // `baseURL` is an origin (scheme and host, no path), normally keyloom::build::apiBaseUrl.
    APIClient(QNetworkAccessManager& network, const QUrl& baseURL, BundleInfo bundle,
              std::chrono::milliseconds timeout = defaultTimeout);
    APIClient(QNetworkAccessManager& network, const QUrl& baseURL, BundleInfo bundle, Limits limits);
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
    // An id that would not stay one path segment (empty, ".", "..", or holding "/", "?" or "#")
    // fails as an unsupported URL before anything is sent.
    QCoro::Task<IssuePatchResponse> markIssueUploaded(QString issueId);
    // Unauthenticated PUT of the text (text/plain) to a pre-signed URL; only status 200 succeeds.
    // A `cancellation`, when given, aborts the transfer; the upload then fails as cancelled.
    QCoro::Task<void> uploadToPresignedURL(QUrl url, QString content,
                                           std::shared_ptr<Cancellation> cancellation = nullptr);

    // True for absolute http/https URLs with a host: the only ones the client sends to.
    static bool isSendable(const QUrl& url);

    // Ends every decode still running: the tasks awaiting them fail at once with a cancellation
    // (TransportError), while the objects they touch still exist.
    void cancelDecoding() { m_decoding->cancelAll(); }

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
                                  bool keepBody, std::chrono::milliseconds deadline,
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

    // decodeBody() on a worker thread.
    template <typename Reply>
    static QCoro::Task<Reply> decodeOffThread(std::shared_ptr<OffThreadWork> decoding, QByteArray body) {
        struct Outcome {
            std::optional<Reply> reply;
            std::exception_ptr error;
        };
        // Shared with the work, which runs on when a cancelled coroutine has already ended.
        auto outcome = std::make_shared<Outcome>();
        std::function<void()> work = [body = std::move(body), outcome] {
            try {
                outcome->reply = decodeBody<Reply>(body);
            } catch (...) {
                outcome->error = std::current_exception();
            }
        };
        auto decoded = decoding->run(std::move(work));
        co_await decoded;
        if (outcome->error) {
            std::rethrow_exception(outcome->error);
        }
        co_return std::move(*outcome->reply);
    }

    QNetworkAccessManager& m_network;
    QUrl m_baseURL;
    BundleInfo m_bundle;
    Limits m_limits;
    std::optional<QString> m_installId;
    std::optional<QString> m_installSecret;
    // Shared with the requests under way, which may end after this client.
    std::shared_ptr<OffThreadWork> m_decoding = std::make_shared<OffThreadWork>();
};

template <typename Reply>
QCoro::Task<Reply> APIClient::get(QString path, bool auth) {
    std::shared_ptr<OffThreadWork> decoding = m_decoding;
    QByteArray body = co_await sendJson(QByteArrayLiteral("GET"), std::move(path), std::nullopt, auth);
    co_return co_await decodeOffThread<Reply>(std::move(decoding), std::move(body));
}

template <typename Reply, typename Body>
QCoro::Task<Reply> APIClient::post(QString path, Body body, bool auth) {
    std::shared_ptr<OffThreadWork> decoding = m_decoding;
    QByteArray reply = co_await sendJson(QByteArrayLiteral("POST"), std::move(path), body.toJson(), auth);
    co_return co_await decodeOffThread<Reply>(std::move(decoding), std::move(reply));
}

template <typename Reply, typename Body>
QCoro::Task<Reply> APIClient::put(QString path, Body body, bool auth) {
    std::shared_ptr<OffThreadWork> decoding = m_decoding;
    QByteArray reply = co_await sendJson(QByteArrayLiteral("PUT"), std::move(path), body.toJson(), auth);
    co_return co_await decodeOffThread<Reply>(std::move(decoding), std::move(reply));
}

template <typename Reply>
QCoro::Task<Reply> APIClient::patch(QString path, bool auth) {
    std::shared_ptr<OffThreadWork> decoding = m_decoding;
    QByteArray body = co_await sendJson(QByteArrayLiteral("PATCH"), std::move(path), std::nullopt, auth);
    co_return co_await decodeOffThread<Reply>(std::move(decoding), std::move(body));
}
