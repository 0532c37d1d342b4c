#include "views/settings/AboutView.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QUrl>
#include <QVBoxLayout>

#include "BuildConfig.h"
#include "platform/Workspace.h"
#include "views/shared/Style.h"
#include "views/shared/SymbolView.h"

AboutView::AboutView(const BundleInfo& bundle, Workspace& workspace, QWidget* parent)
    : QWidget(parent), m_workspace(workspace) {
    auto* column = new QVBoxLayout(this);
    column->setContentsMargins(24, 24, 24, 24);
    column->setSpacing(20);
    column->addStretch(1);

    column->addWidget(new SymbolView(QStringLiteral("command.square.fill"), 48, Style::accent(), this), 0,
                      Qt::AlignHCenter);

    auto* texts = new QVBoxLayout;
    texts->setSpacing(4);
    QLabel* name = Style::label(QStringLiteral("Keyloom"), Style::font(16, QFont::Bold), Style::primary(), this);
    m_version = Style::label(versionLine(bundle), Style::font(12), Style::secondary(), this);
    m_version->setObjectName(QStringLiteral("versionLine"));
    texts->addWidget(name, 0, Qt::AlignHCenter);
    texts->addWidget(m_version, 0, Qt::AlignHCenter);
    column->addLayout(texts);

    auto* links = new QHBoxLayout;
    links->setSpacing(12);
    m_website = new QPushButton(QStringLiteral("Website"), this);
    m_support = new QPushButton(QStringLiteral("Support"), this);
    links->addStretch(1);
    links->addWidget(m_website);
    links->addWidget(m_support);
    links->addStretch(1);
    column->addLayout(links);
    column->addStretch(1);

    connect(m_website, &QPushButton::clicked, this, [this] { m_workspace.openURL(websiteUrl()); });
    connect(m_support, &QPushButton::clicked, this, [this] { m_workspace.openURL(supportUrl()); });
}

QString AboutView::shortVersion(const BundleInfo& bundle) {
    return bundle.shortVersion.value_or(QStringLiteral("1.0"));
}

QString AboutView::buildNumber(const BundleInfo& bundle) {
    return bundle.buildNumber.value_or(QStringLiteral("1"));
}

QString AboutView::versionLine(const BundleInfo& bundle) {
    return QStringLiteral("Version ") + shortVersion(bundle) + QStringLiteral(" (") + buildNumber(bundle) +
           QStringLiteral(")");
}

QUrl AboutView::websiteUrl() {
    return QUrl(QString::fromUtf8(keyloom::build::websiteUrl));
}

QUrl AboutView::supportUrl() {
    return QUrl(QStringLiteral("mailto:") + QString::fromUtf8(keyloom::build::supportEmail));
}
