#include "platform/qt/AppcastUpdater.h"

#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QNetworkRequest>

#include "platform/qt/AppcastFeed.h"
#include "platform/qt/ReplyGuard.h"
#include "platform/qt/VersionComparator.h"

AppcastUpdater::AppcastUpdater(const QUrl& feedUrl, const QString& hostVersion, QObject* parent)
    : QObject(parent), m_feedUrl(feedUrl), m_hostVersion(hostVersion), m_network(new QNetworkAccessManager(this)) {}

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
    request.setTransferTimeout(60000);
    // Redirects are checked one by one: only http and https may be followed.
    request.setAttribute(QNetworkRequest::RedirectPolicyAttribute, QNetworkRequest::UserVerifiedRedirectPolicy);
    QNetworkReply* reply = m_network->get(request);
    if (!interactive) {
        ++m_probesInFlight;
    }
    connect(reply, &QNetworkReply::redirected, reply, [reply](const QUrl& target) {
        if (ReplyGuard::isWebUrl(target)) {
            emit reply->redirectAllowed();
        } else {
            reply->abort();
        }
    });
    connect(reply, &QNetworkReply::downloadProgress, reply, [reply](qint64 received, qint64 total) {
        if (received > maxFeedBytes || total > maxFeedBytes) {
            reply->abort();
        }
    });
    connect(reply, &QNetworkReply::finished, this, [this, reply, interactive] {
        if (!interactive) {
            --m_probesInFlight;
        }
        finish(reply, interactive);
    });
}

void AppcastUpdater::finish(QNetworkReply* reply, bool interactive) {
    reply->deleteLater();
    const int status = reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt();
    if (reply->error() != QNetworkReply::NoError || status < 200 || status > 299) {
        const QString reason = reply->error() == QNetworkReply::OperationCanceledError
                                   ? QStringLiteral("the transfer was stopped")
                                   : reply->errorString();
        fail(QStringLiteral("An error occurred in retrieving update information: ") + reason, interactive);
        return;
    }
    const auto items = AppcastFeed::parse(reply->readAll());
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
