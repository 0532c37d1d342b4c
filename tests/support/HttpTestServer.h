#pragma once

#include <QByteArray>
#include <QList>
#include <QMap>
#include <QString>
#include <QUrl>
#include <functional>
#include <memory>
#include <mutex>
#include <string>

// One request as the test server received it. Header names are lower-cased.
struct RecordedRequest {
    QString method;
    QString path;   // without the query
    QString query;  // raw, without "?"
    QMap<QString, QString> headers;
    QByteArray body;

    bool hasHeader(const QString& name) const { return headers.contains(name.toLower()); }
    QString header(const QString& name) const { return headers.value(name.toLower()); }
};

struct CannedResponse {
    int status = 200;
    QByteArray body = "{}";
    QByteArray contentType = "application/json";
    double delaySeconds = 0;  // wait before answering (for time-out tests)
    QMap<QByteArray, QByteArray> headers;
    // When set, the body instead: this chunk again and again, one every `streamIntervalSeconds`
    // (0: as fast as the client takes them), until the client goes away, endStreams() is called
    // or the server is destroyed. Give it a type the server does not compress (such as
    // application/octet-stream): its compressor would hold on to the stream instead of sending it.
    QByteArray streamChunk{};
    double streamIntervalSeconds = 0;
};

// A 307 to `target`, on a connection that closes: Qt re-sends a POST or PUT on a fresh one, which
// a kept-alive connection of this server fails now and then.
CannedResponse redirectTo(const QUrl& target);
// A body that never ends: `chunk` again and again, one every `intervalSeconds` (0: as fast as the
// client reads), of a type the server does not compress.
CannedResponse endlessBody(QByteArray chunk, double intervalSeconds = 0);

// A real HTTP server on 127.0.0.1 with a port the OS picks, running on its own thread. Records
// every request and answers through the handler (by default 200 with "{}"). Over https it shows a
// certificate of its own for its address, which Qt's default TLS configuration in this process then
// trusts.
class HttpTestServer {
public:
    using Handler = std::function<CannedResponse(const RecordedRequest&)>;
    enum class Scheme { Http, Https };
    // SchemeDefault: port 80 (443 over https) of a loopback address of the server's own, 127.x.y.z
    // picked at random, so that URLs without a port reach it and tests running in parallel never
    // share it. Binding such a port takes root; bindError() tells why the server could not listen.
    enum class Port { Any, SchemeDefault };

    explicit HttpTestServer(Scheme scheme = Scheme::Http, Port port = Port::Any);
    ~HttpTestServer();
    HttpTestServer(const HttpTestServer&) = delete;
    HttpTestServer& operator=(const HttpTestServer&) = delete;

    void setHandler(Handler handler);
    // Answers every request for `path` (any method) with `response`; other paths keep the handler.
    void route(const QString& path, CannedResponse response);

    int port() const { return m_port; }
    QString host() const { return m_host; }
    // Empty once the server listens.
    QString bindError() const { return m_bindError; }
    // "http://<host>:<port>" (or https) followed by `path`.
    QUrl url(const QString& path = QString()) const;

    QList<RecordedRequest> requests() const;
    int requestCount() const;
    // Waits (spinning the Qt event loop) until at least `count` requests arrived, or the time-out.
    bool waitForRequests(int count, int timeoutMs = 5000) const;
    void clear();

    // Ends every body still streaming, as a complete reply.
    void endStreams();
    // How many streamed bodies ended because the client went away.
    int abandonedStreams() const;

private:
    struct Impl;
    std::unique_ptr<Impl> m_impl;
    Scheme m_scheme;
    QString m_host = QStringLiteral("127.0.0.1");
    int m_port = 0;
    QString m_bindError;
};

// Runs `check` for http and https, each way between the two spellings of one origin on the
// scheme's default port ("http://h" and "http://h:80"): requests go to `from` on a fresh server,
// redirects name `to`. Skips the test, saying why, where no such port can be had.
void forEachDefaultPortSpelling(const std::function<void(HttpTestServer& server, const QUrl& from, const QUrl& to,
                                                         const std::string& name)>& check);
