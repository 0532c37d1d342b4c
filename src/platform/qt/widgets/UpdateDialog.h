#pragma once

#include <QDialog>
#include <functional>

#include "platform/qt/AppcastUpdater.h"

class QLabel;
class QPushButton;

// The small dialog of the interactive update check: names the new version and offers a button
// that opens its link, or says the build is current, or why the check failed.
class UpdateDialog : public QDialog {
    Q_OBJECT
public:
    using LinkOpener = std::function<void(const QUrl&)>;

    // `openLink` is called with the item's link when the download button is pressed; without
    // one the link goes to the desktop's browser.
    UpdateDialog(const AppcastUpdater::InteractiveResult& result, LinkOpener openLink = {}, QWidget* parent = nullptr);

    QString message() const;
    // The download button; null unless an update is offered with an http(s) link.
    QPushButton* downloadButton() const { return m_download; }

private:
    QLabel* m_message = nullptr;
    QPushButton* m_download = nullptr;
};
