#include "views/settings/GeneralSettingsView.h"

#include <QCheckBox>
#include <QCoro/QCoroSignal>
#include <QFrame>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QShowEvent>
#include <QSignalBlocker>
#include <QVBoxLayout>

#include "models/AppSettings.h"
#include "platform/UserDefaults.h"
#include "platform/Workspace.h"
#include "services/APIClient.h"
#include "services/LaunchAtLoginService.h"
#include "services/UpdaterService.h"
#include "views/shared/Style.h"

namespace {

const QString kSaved = QStringLiteral("✓ Saved");
const QString kFailed = QStringLiteral("Failed to save");

QFrame* divider(QWidget* parent) {
    auto* line = new QFrame(parent);
    line->setFrameShape(QFrame::HLine);
    line->setFrameShadow(QFrame::Plain);
    line->setStyleSheet(QStringLiteral("color: rgba(0, 0, 0, 25)"));
    return line;
}

}  // namespace

GeneralSettingsView::GeneralSettingsView(AppSettings& settings, LaunchAtLoginService& launchAtLogin,
                                         UpdaterService& updater, APIClient& api, Workspace& workspace, QWidget* parent)
    : QWidget(parent),
      m_settings(settings),
      m_launchAtLoginService(launchAtLogin),
      m_updater(updater),
      m_api(api),
      m_workspace(workspace) {
    auto* form = new QVBoxLayout(this);
    form->setContentsMargins(24, 24, 24, 24);
    form->setSpacing(8);

    m_launchAtLogin = new QCheckBox(QStringLiteral("Launch at login"), this);
    m_showInDock = new QCheckBox(QStringLiteral("Show in Dock"), this);
    form->addWidget(m_launchAtLogin);
    form->addWidget(m_showInDock);
    form->addWidget(divider(this));

    m_checkForUpdates = new QPushButton(QStringLiteral("Check for Updates"), this);
    form->addWidget(m_checkForUpdates, 0, Qt::AlignLeft);
    form->addWidget(divider(this));

    form->addWidget(
        Style::label(QStringLiteral("Profile"), Style::font(11, QFont::DemiBold), Style::secondary(), this));
    m_name = new QLineEdit(this);
    m_name->setPlaceholderText(QStringLiteral("Your name"));
    m_email = new QLineEdit(this);
    m_email->setPlaceholderText(QStringLiteral("Email address"));
    form->addWidget(m_name);
    form->addWidget(m_email);

    auto* saveRow = new QHBoxLayout;
    m_save = new QPushButton(QStringLiteral("Save Profile"), this);
    m_message = Style::label(QString(), Style::font(11), Style::red(), this);
    m_message->setObjectName(QStringLiteral("profileSaveMessage"));
    saveRow->addWidget(m_save, 0, Qt::AlignVCenter);
    saveRow->addWidget(m_message, 0, Qt::AlignVCenter);
    saveRow->addStretch(1);
    form->addLayout(saveRow);
    form->addStretch(1);

    // clicked() is the user's change only; reloading the boxes from the settings stays silent.
    connect(m_launchAtLogin, &QCheckBox::clicked, this, [this](bool on) {
        m_settings.setLaunchAtLogin(on);
        m_launchAtLoginService.setEnabled(on);
    });
    connect(m_showInDock, &QCheckBox::clicked, this, [this](bool on) {
        m_settings.setShowInDock(on);
        m_workspace.setActivationPolicy(on ? ActivationPolicy::Regular : ActivationPolicy::Accessory);
    });
    connect(m_checkForUpdates, &QPushButton::clicked, this, [this] { m_updater.checkForUpdates(); });
    connect(m_name, &QLineEdit::textChanged, this, &GeneralSettingsView::updateSaveControls);
    connect(m_email, &QLineEdit::textChanged, this, &GeneralSettingsView::updateSaveControls);
    connect(m_save, &QPushButton::clicked, this, &GeneralSettingsView::saveProfile);
    // The defaults announce after each write, so the boxes follow writes made anywhere.
    connect(&m_settings.defaults(), &UserDefaults::didChange, this, &GeneralSettingsView::syncToggles);

    syncToggles();
    setSaveState(false, std::nullopt);
}

void GeneralSettingsView::showEvent(QShowEvent* event) {
    QWidget::showEvent(event);
    if (!event->spontaneous()) {
        m_name->setText(m_settings.profileName());
        m_email->setText(m_settings.profileEmail());
        syncToggles();
    }
}

void GeneralSettingsView::syncToggles() {
    const QSignalBlocker blockLogin(m_launchAtLogin);
    const QSignalBlocker blockDock(m_showInDock);
    m_launchAtLogin->setChecked(m_settings.launchAtLogin());
    m_showInDock->setChecked(m_settings.showInDock());
}

void GeneralSettingsView::saveProfile() {
    // The button is disabled in these cases; a direct call obeys the same rule.
    if (m_savingProfile || m_name->text().isEmpty() || m_email->text().isEmpty()) {
        return;
    }
    setSaveState(true, std::nullopt);
    runProfileSave(QPointer<GeneralSettingsView>(this), QPointer<AppSettings>(&m_settings), m_api, m_name->text(),
                   m_email->text());
}

QCoro::Task<void> GeneralSettingsView::runProfileSave(QPointer<GeneralSettingsView> view,
                                                      QPointer<AppSettings> settings, APIClient& api, QString name,
                                                      QString email) {
    std::optional<QString> message;
    try {
        const ProfileResponse response = co_await api.updateProfile(name, email);
        bool stored = true;
        if (settings) {
            const QString storedName = response.name.value_or(name);
            const QString storedEmail = response.email.value_or(email);
            // The defaults refuse what their file cannot hold (control characters, a value of megabytes):
            // both or neither.
            stored = !UserDefaults::unstorableReason(storedName) && !UserDefaults::unstorableReason(storedEmail);
            if (stored) {
                settings->setProfileName(storedName);
                settings->setProfileEmail(storedEmail);
                // Saved only once both are in the settings file: writes that wait for another writer of the
                // file end within seconds.
                UserDefaults& defaults = settings->defaults();
                while (settings && settings->profileSaveState() == UserDefaults::SaveState::Pending) {
                    auto finished = qCoro(&defaults, &UserDefaults::pendingWritesFinished);
                    co_await finished;
                }
                stored = settings && settings->profileSaveState() == UserDefaults::SaveState::Saved &&
                         settings->profileName() == storedName && settings->profileEmail() == storedEmail;
            }
        }
        message = stored ? kSaved : kFailed;
    } catch (...) {
        // Any failure (not configured, transport, status, reply) reads the same; no detail is shown.
        message = kFailed;
    }
    if (view) {
        view->setSaveState(false, message);
    }
}

void GeneralSettingsView::setSaveState(bool saving, const std::optional<QString>& message) {
    m_savingProfile = saving;
    m_profileSaveMessage = message;
    m_message->setText(message.value_or(QString()));
    m_message->setVisible(message.has_value());
    Style::setLabelColor(m_message,
                         message && message->startsWith(QStringLiteral("✓")) ? Style::green() : Style::red());
    updateSaveControls();
}

void GeneralSettingsView::updateSaveControls() {
    m_save->setText(m_savingProfile ? QStringLiteral("Saving…") : QStringLiteral("Save Profile"));
    // Only truly empty inputs disable the button; spaces count as text.
    m_save->setEnabled(!m_savingProfile && !m_name->text().isEmpty() && !m_email->text().isEmpty());
}
