#pragma once

#include <QWidget>

#include "platform/BundleInfo.h"

class QLabel;
class QPushButton;
class Workspace;

// The About tab: the symbol, the name, the version line and the Website and Support links.
class AboutView : public QWidget {
    Q_OBJECT
public:
    AboutView(const BundleInfo& bundle, Workspace& workspace, QWidget* parent = nullptr);

    // The bundle's short version, or "1.0" without one.
    static QString shortVersion(const BundleInfo& bundle);
    // The bundle's build number, or "1" without one.
    static QString buildNumber(const BundleInfo& bundle);
    // "Version " + short version + " (" + build number + ")".
    static QString versionLine(const BundleInfo& bundle);

    static QUrl websiteUrl();
    static QUrl supportUrl();

    QLabel* versionLabel() const { return m_version; }
    QPushButton* websiteButton() const { return m_website; }
    QPushButton* supportButton() const { return m_support; }

private:
    Workspace& m_workspace;
    QLabel* m_version = nullptr;
    QPushButton* m_website = nullptr;
    QPushButton* m_support = nullptr;
};
