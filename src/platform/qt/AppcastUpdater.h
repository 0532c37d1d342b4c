#pragma once

#include <QObject>
#include <QUrl>
#include <chrono>
#include <functional>

#include "platform/Updater.h"

class QNetworkAccessManager;
class QNetworkReply;
class ReplyGuard;

// The updater over an appcast feed read with HTTP(S). A check fetches the feed, takes its newest
// item and reports it to the delegate when that version is newer than the running build's. It
// never marks an update as required by itself, downloads nothing and installs nothing: the
// interactive check hands its outcome to a presenter (the update dialog), which offers the
// item's link. A feed is read within bounds (see ReplyGuard): at most maxFeedBytes, ended after a
// time-out without traffic and after an overall deadline, redirected to http and https URLs only
// and never from https to http. Main thread only.
class AppcastUpdater final : public QObject, public Updater {
    Q_OBJECT
public:
    // Feeds larger than this are refused rather than read into memory.
    static constexpr qint64 maxFeedBytes = 4 * 1024 * 1024;

    // The outcome of an interactive check.
    struct InteractiveResult {
        enum class Kind { UpdateAvailable, UpToDate, Failed };
        Kind kind = Kind::UpToDate;
        AppcastItem item;  // for UpdateAvailable
        QString error;     // for Failed
    };
    using Presenter = std::function<void(const InteractiveResult&)>;

    struct Limits {
        std::chrono::milliseconds timeout{60000};    // without any traffic
        std::chrono::milliseconds deadline{120000};  // however slowly the feed drips
    };

    // `hostVersion` is the running build's version, compared with the feed's versions.
    AppcastUpdater(const QUrl& feedUrl, const QString& hostVersion, QObject* parent = nullptr)
        : AppcastUpdater(feedUrl, hostVersion, Limits(), parent) {}
    AppcastUpdater(const QUrl& feedUrl, const QString& hostVersion, Limits limits, QObject* parent = nullptr);
    ~AppcastUpdater() override;

    // Receives the outcome of every interactive check.
    void setPresenter(Presenter presenter) { m_presenter = std::move(presenter); }

    void setDelegate(UpdaterDelegate* delegate) override { m_delegate = delegate; }
    void setUpdateCheckInterval(double seconds) override { m_interval = seconds; }
    double updateCheckInterval() const override { return m_interval; }
    // Fails for a feed address that is not http or https.
    std::optional<QString> start() override;
    // True once started and while no background check is under way.
    bool canCheckForUpdates() const override { return m_started && m_probesInFlight == 0; }
    void checkForUpdateInformation() override;
    void checkForUpdates() override;

private:
    void fetch(bool interactive);
    void finish(QNetworkReply* reply, ReplyGuard& guard, bool interactive);
    void fail(const QString& description, bool interactive);
    void present(const InteractiveResult& result);

    QUrl m_feedUrl;
    QString m_hostVersion;
    Limits m_limits;
    QNetworkAccessManager* m_network;
    UpdaterDelegate* m_delegate = nullptr;
    Presenter m_presenter;
    double m_interval = 86400;
    bool m_started = false;
    int m_probesInFlight = 0;
};
