#include "platform/qt/AppcastUpdater.h"

#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QNetworkRequest>
#include <optional>

#include "platform/qt/AppcastFeed.h"
#include "platform/qt/ReplyGuard.h"
#include "platform/qt/VersionComparator.h"

namespace {

// Why a fetch failed, in words for "An error occurred in retrieving update information: ...".
std::optional<QString> failureOf(const QNetworkReply& reply, const ReplyGuard& guard) {
    switch (guard.breach()) {
        case ReplyGuard::Breach::None:
            break;
        case ReplyGuard::Breach::RefusedRedirect:
            return QStringLiteral("redirect refused");
        case ReplyGuard::Breach::TooManyRedirects:
            return QStringLiteral("too many redirects");
        case ReplyGuard::Breach::TooLarge:
            return QStringLiteral("the feed is larger than %1 MiB").arg(AppcastUpdater::maxFeedBytes / (1024 * 1024));
        case ReplyGuard::Breach::DeadlinePassed:
            return QStringLiteral("The request timed out.");
    }
    // The guard's aborts are handled above, so a cancelled transfer is Qt's transfer time-out.
    if (reply.error() == QNetworkReply::OperationCanceledError) {
        return QStringLiteral("The request timed out.");
    }
    const int status = reply.attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt();
    if (reply.error() != QNetworkReply::NoError || status < 200 || status > 299) {
        return reply.errorString();
    }
    return std::nullopt;
}

}  // namespace

AppcastUpdater::AppcastUpdater(const QUrl& feedUrl, const QString& hostVersion, Limits limits, QObject* parent)
    : QObject(parent),
      m_feedUrl(feedUrl),
      m_hostVersion(hostVersion),
      m_limits(limits),
      m_network(new QNetworkAccessManager(this)) {}

AppcastUpdater::~AppcastUpdater() = default;

std::optional<QString> AppcastUpdater::start() {
    if (!ReplyGuard::isWebUrl(m_feedUrl)) {
        return QStringLiteral("The update feed address is not an http or https URL: ") + m_feedUrl.toString();
    }
    m_started = true;
    return std::nullopt;
}

void AppcastUpdater::checkForUpdateInformation() {
    if (!canCheckForUpdates()) {
        return;
    }
    fetch(false);
}

void AppcastUpdater::checkForUpdates() {
    if (!m_started) {
        present({InteractiveResult::Kind::Failed, {}, QStringLiteral("The updater is not running.")});
        return;
    }
    fetch(true);
}

void AppcastUpdater::fetch(bool interactive) {
    QNetworkRequest request(m_feedUrl);
    request.setTransferTimeout(static_cast<int>(m_limits.timeout.count()));
    ReplyGuard::prepare(request);
    QNetworkReply* reply = m_network->get(request);
    ReplyGuard* guard = ReplyGuard::watch(reply, maxFeedBytes, ReplyGuard::Body::Keep, m_limits.deadline,
                                          ReplyGuard::Redirects::NoDowngrade);
    if (!interactive) {
        ++m_probesInFlight;
    }
    connect(reply, &QNetworkReply::finished, this, [this, reply, guard, interactive] {
        if (!interactive) {
            --m_probesInFlight;
        }
        finish(reply, *guard, interactive);
    });
}

void AppcastUpdater::finish(QNetworkReply* reply, ReplyGuard& guard, bool interactive) {
    reply->deleteLater();
    if (const auto reason = failureOf(*reply, guard)) {
        fail(QStringLiteral("An error occurred in retrieving update information: ") + *reason, interactive);
        return;
    }
    const auto items = AppcastFeed::parse(guard.takeBody());
    if (!items) {
        fail(QStringLiteral("An error occurred while parsing the update feed."), interactive);
        return;
    }
    const auto newest = AppcastFeed::newest(*items);
    if (newest && VersionComparator::compare(newest->versionString, m_hostVersion) > 0) {
        if (m_delegate) {
            m_delegate->didFindValidUpdate(*newest);
        }
        if (interactive) {
            present({InteractiveResult::Kind::UpdateAvailable, *newest, {}});
        }
        return;
    }
    if (interactive) {
        present({InteractiveResult::Kind::UpToDate, {}, {}});
    }
}

void AppcastUpdater::fail(const QString& description, bool interactive) {
    if (m_delegate) {
        m_delegate->didAbortWithError(description);
    }
    if (interactive) {
        present({InteractiveResult::Kind::Failed, {}, description});
    }
}

void AppcastUpdater::present(const InteractiveResult& result) {
    if (m_presenter) {
        m_presenter(result);
    }
}
