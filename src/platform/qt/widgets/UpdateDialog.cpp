#include "platform/qt/widgets/UpdateDialog.h"

#include <QDesktopServices>
#include <QDialogButtonBox>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

UpdateDialog::UpdateDialog(const AppcastUpdater::InteractiveResult& result, LinkOpener openLink, QWidget* parent)
    : QDialog(parent) {
    using Kind = AppcastUpdater::InteractiveResult::Kind;
    setWindowTitle(QStringLiteral("Software Update"));
    auto* layout = new QVBoxLayout(this);
    m_message = new QLabel(this);
    m_message->setWordWrap(true);
    layout->addWidget(m_message);
    auto* buttons = new QDialogButtonBox(this);
    layout->addWidget(buttons);

    switch (result.kind) {
        case Kind::UpdateAvailable: {
            m_message->setText(QStringLiteral("Keyloom %1 is available.").arg(result.item.displayVersionString));
            const QUrl link = result.item.link;
            const QString scheme = link.scheme().toLower();
            // Only web links are opened; a feed cannot make us launch anything else.
            if (link.isValid() && (scheme == u"http" || scheme == u"https")) {
                m_download = buttons->addButton(QStringLiteral("Download…"), QDialogButtonBox::AcceptRole);
                connect(m_download, &QPushButton::clicked, this, [link, openLink = std::move(openLink)] {
                    if (openLink) {
                        openLink(link);
                    } else {
                        QDesktopServices::openUrl(link);
                    }
                });
            }
            buttons->addButton(QStringLiteral("Later"), QDialogButtonBox::RejectRole);
            break;
        }
        case Kind::UpToDate:
            m_message->setText(QStringLiteral("You’re up to date."));
            buttons->addButton(QDialogButtonBox::Ok);
            break;
        case Kind::Failed:
            m_message->setText(QStringLiteral("The update check failed. %1").arg(result.error));
            buttons->addButton(QDialogButtonBox::Ok);
            break;
    }
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
}

QString UpdateDialog::message() const {
    return m_message->text();
}
