#include "support/HttpTestServer.h"

#include <gtest/gtest.h>
#include <httplib.h>

#include <openssl/evp.h>
#include <openssl/pem.h>
#include <openssl/x509v3.h>

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QRandomGenerator>
#include <QSslCertificate>
#include <QSslConfiguration>
#include <QThread>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <thread>

namespace {

// A server showing a fresh self-signed certificate for the IP address `host`; `trust()` makes Qt's
// default TLS configuration trust it from then on.
std::unique_ptr<httplib::Server> makeTlsServer(const QString& host, std::function<void()>& trust) {
    const QByteArray address = host.toLatin1();
    EVP_PKEY* key = EVP_EC_gen("P-256");
    X509* certificate = X509_new();
    X509_set_version(certificate, 2);
    ASN1_INTEGER_set(X509_get_serialNumber(certificate), 1);
    X509_gmtime_adj(X509_getm_notBefore(certificate), -3600);
    X509_gmtime_adj(X509_getm_notAfter(certificate), 24 * 3600);
    X509_set_pubkey(certificate, key);
    X509_NAME* name = X509_get_subject_name(certificate);
    X509_NAME_add_entry_by_txt(name, "CN", MBSTRING_ASC, reinterpret_cast<const unsigned char*>(address.constData()),
                               -1, -1, 0);
    X509_set_issuer_name(certificate, name);
    X509V3_CTX context;
    X509V3_set_ctx_nodb(&context);
    X509V3_set_ctx(&context, certificate, certificate, nullptr, nullptr, 0);
    X509_EXTENSION* altName =
        X509V3_EXT_conf_nid(nullptr, &context, NID_subject_alt_name, ("IP:" + address).constData());
    X509_add_ext(certificate, altName, -1);
    X509_EXTENSION_free(altName);
    X509_sign(certificate, key, EVP_sha256());

    BIO* pem = BIO_new(BIO_s_mem());
    PEM_write_bio_X509(pem, certificate);
    char* data = nullptr;
    const long size = BIO_ctrl(pem, BIO_CTRL_INFO, 0, static_cast<void*>(&data));
    trust = [certificate = QSslCertificate(QByteArray(data, size))] {
        QSslConfiguration tls = QSslConfiguration::defaultConfiguration();
        tls.addCaCertificate(certificate);
        QSslConfiguration::setDefaultConfiguration(tls);
    };
    BIO_free(pem);

    auto server = std::make_unique<httplib::SSLServer>(certificate, key);  // takes references of its own
    X509_free(certificate);
    EVP_PKEY_free(key);
    return server;
}

// Without the default SO_REUSEPORT, under which a second server on the same address and port would
// take half of the first one's connections.
void exclusiveSocketOptions(socket_t socket) {
    const int yes = 1;
    setsockopt(socket, SOL_SOCKET, SO_REUSEADDR, &yes, sizeof(yes));
}

}  // namespace

struct HttpTestServer::Impl {
    std::unique_ptr<httplib::Server> server;
    std::thread thread;
    mutable std::mutex mutex;
    QList<RecordedRequest> requests;
    Handler handler;
    QMap<QString, CannedResponse> routes;
    std::atomic<int> streamGeneration{0};  // a stream ends when this moves on
    std::atomic<int> abandonedStreams{0};
};

HttpTestServer::HttpTestServer(Scheme scheme, Port port) : m_impl(std::make_unique<Impl>()), m_scheme(scheme) {
    std::function<void()> trust = [] {};
    const auto makeServer = [&] {
        return scheme == Scheme::Https ? makeTlsServer(m_host, trust) : std::make_unique<httplib::Server>();
    };
    if (port == Port::Any) {
        m_impl->server = makeServer();
        m_port = m_impl->server->bind_to_any_port(m_host.toStdString());
    } else {
        const int defaultPort = scheme == Scheme::Https ? 443 : 80;
        for (int attempt = 0; attempt < 32 && m_port == 0; ++attempt) {
            auto* random = QRandomGenerator::global();
            m_host = QStringLiteral("127.%1.%2.%3")
                         .arg(random->bounded(1, 255))
                         .arg(random->bounded(0, 256))
                         .arg(random->bounded(1, 255));
            m_impl->server = makeServer();
            m_impl->server->set_socket_options(exclusiveSocketOptions);
            errno = 0;
            if (m_impl->server->bind_to_port(m_host.toStdString(), defaultPort)) {
                m_port = defaultPort;
            } else if (errno != EADDRINUSE) {
                break;  // the same on every address
            }
        }
        if (m_port == 0) {
            m_bindError = QStringLiteral("cannot listen on port %1 of a loopback address (%2)")
                              .arg(defaultPort)
                              .arg(errno == EADDRINUSE ? QStringLiteral("taken on every address tried: a server "
                                                                        "listening on all addresses?")
                                                       : QString::fromLocal8Bit(strerror(errno)));
            return;
        }
    }
    trust();
    auto serve = [this](const httplib::Request& req, httplib::Response& res) {
        RecordedRequest recorded;
        recorded.method = QString::fromStdString(req.method);
        recorded.path = QString::fromStdString(req.path);
        const auto queryStart = req.target.find('?');
        if (queryStart != std::string::npos) {
            recorded.query = QString::fromStdString(req.target.substr(queryStart + 1));
        }
        for (const auto& [name, value] : req.headers) {
            recorded.headers.insert(QString::fromStdString(name).toLower(), QString::fromStdString(value));
        }
        recorded.body = QByteArray::fromStdString(req.body);

        CannedResponse response;
        {
            std::lock_guard lock(m_impl->mutex);
            m_impl->requests.append(recorded);
            if (m_impl->routes.contains(recorded.path)) {
                response = m_impl->routes.value(recorded.path);
            } else if (m_impl->handler) {
                response = m_impl->handler(recorded);
            }
        }
        if (response.delaySeconds > 0) {
            std::this_thread::sleep_for(std::chrono::milliseconds(static_cast<int>(response.delaySeconds * 1000)));
        }
        res.status = response.status;
        for (auto it = response.headers.cbegin(); it != response.headers.cend(); ++it) {
            res.set_header(it.key().toStdString(), it.value().toStdString());
        }
        if (response.streamChunk.isEmpty()) {
            res.set_content(response.body.toStdString(), response.contentType.toStdString());
            return;
        }
        const int generation = m_impl->streamGeneration;
        const auto interval = std::chrono::microseconds(static_cast<qint64>(response.streamIntervalSeconds * 1e6));
        res.set_chunked_content_provider(
            response.contentType.toStdString(),
            [impl = m_impl.get(), generation, interval, chunk = response.streamChunk.toStdString()](
                size_t, httplib::DataSink& sink) {
                const auto due = std::chrono::steady_clock::now() + interval;
                while (impl->streamGeneration == generation && std::chrono::steady_clock::now() < due) {
                    std::this_thread::sleep_for(std::chrono::milliseconds(2));
                }
                if (impl->streamGeneration != generation) {
                    sink.done();
                } else if (!sink.write(chunk.data(), chunk.size())) {
                    ++impl->abandonedStreams;
                    return false;
                }
                return true;
            });
    };
    m_impl->server->Get(".*", serve);
    m_impl->server->Post(".*", serve);
    m_impl->server->Put(".*", serve);
    m_impl->server->Patch(".*", serve);
    m_impl->server->Delete(".*", serve);
    m_impl->thread = std::thread([this] { m_impl->server->listen_after_bind(); });
    while (!m_impl->server->is_running()) {
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
}

HttpTestServer::~HttpTestServer() {
    if (!m_impl->thread.joinable()) {
        return;  // never listened
    }
    ++m_impl->streamGeneration;
    m_impl->server->stop();
    if (m_impl->thread.joinable()) {
        m_impl->thread.join();
    }
}

void HttpTestServer::setHandler(Handler handler) {
    std::lock_guard lock(m_impl->mutex);
    m_impl->handler = std::move(handler);
}

void HttpTestServer::route(const QString& path, CannedResponse response) {
    std::lock_guard lock(m_impl->mutex);
    m_impl->routes.insert(path, std::move(response));
}

QUrl HttpTestServer::url(const QString& path) const {
    const QString scheme = m_scheme == Scheme::Https ? QStringLiteral("https") : QStringLiteral("http");
    return QUrl(QStringLiteral("%1://%2:%3%4").arg(scheme, m_host).arg(m_port).arg(path));
}

QList<RecordedRequest> HttpTestServer::requests() const {
    std::lock_guard lock(m_impl->mutex);
    return m_impl->requests;
}

int HttpTestServer::requestCount() const {
    std::lock_guard lock(m_impl->mutex);
    return static_cast<int>(m_impl->requests.size());
}

bool HttpTestServer::waitForRequests(int count, int timeoutMs) const {
    QDeadlineTimer deadline(timeoutMs);
    while (requestCount() < count) {
        if (deadline.hasExpired()) {
            return false;
        }
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
        QThread::msleep(1);
    }
    return true;
}

void HttpTestServer::clear() {
    std::lock_guard lock(m_impl->mutex);
    m_impl->requests.clear();
}

void HttpTestServer::endStreams() {
    ++m_impl->streamGeneration;
}

int HttpTestServer::abandonedStreams() const {
    return m_impl->abandonedStreams;
}

CannedResponse redirectTo(const QUrl& target) {
    CannedResponse moved;
    moved.status = 307;
    moved.body.clear();
    moved.headers.insert("Location", target.toEncoded());
    moved.headers.insert("Connection", "close");
    return moved;
}

CannedResponse endlessBody(QByteArray chunk, double intervalSeconds) {
    CannedResponse endless;
    endless.contentType = "application/octet-stream";
    endless.streamChunk = std::move(chunk);
    endless.streamIntervalSeconds = intervalSeconds;
    return endless;
}

void forEachDefaultPortSpelling(
    const std::function<void(HttpTestServer&, const QUrl&, const QUrl&, const std::string&)>& check) {
    for (const auto scheme : {HttpTestServer::Scheme::Http, HttpTestServer::Scheme::Https}) {
        HttpTestServer server(scheme, HttpTestServer::Port::SchemeDefault);
        if (!server.bindError().isEmpty()) {
            GTEST_SKIP() << server.bindError().toStdString();
        }
        const QUrl written = server.url();
        QUrl bare = written;
        bare.setPort(-1);
        for (const auto& [from, to] : {std::pair(bare, written), std::pair(written, bare)}) {
            server.clear();
            check(server, from, to, (from.toString() + QStringLiteral(" to ") + to.toString()).toStdString());
        }
    }
}
