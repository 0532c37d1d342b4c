#include "platform/qt/widgets/SimSettingsPanel.h"

#include <QCheckBox>
#include <QLabel>
#include <QVBoxLayout>

#include "platform/sim/SimSession.h"

using namespace Qt::StringLiterals;

namespace {

void setEmphasis(QCheckBox* box, bool emphasised) {
    QFont font = box->font();
    font.setBold(emphasised);
    box->setFont(font);
}

}  // namespace

SimSettingsPanel::SimSettingsPanel(SimSession& session, QWidget* parent) : QWidget(parent), m_session(session) {
    setWindowTitle(u"System Settings (simulated)"_s);

    auto* heading = new QLabel(u"Privacy & Security"_s, this);
    QFont headingFont = heading->font();
    headingFont.setBold(true);
    headingFont.setPointSizeF(headingFont.pointSizeF() * 1.3);
    heading->setFont(headingFont);

    m_pane = new QLabel(this);
    m_accessibility = new QCheckBox(u"Accessibility — Keyloom may control the computer"_s, this);
    m_inputMonitoring = new QCheckBox(u"Input Monitoring — Keyloom may watch the keyboard"_s, this);

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(heading);
    layout->addWidget(m_pane);
    layout->addSpacing(8);
    layout->addWidget(m_accessibility);
    layout->addWidget(m_inputMonitoring);
    layout->addStretch(1);

    connect(m_accessibility, &QCheckBox::toggled, this, [this](bool on) { m_session.setAccessibilityTrusted(on); });
    connect(m_inputMonitoring, &QCheckBox::toggled, this, [this](bool on) { m_session.setInputMonitoringGranted(on); });
    connect(&m_session, &SimSession::permissionsChanged, this, &SimSettingsPanel::syncFromSession);
    syncFromSession();
    showPane(QUrl());
    resize(420, 180);
}

void SimSettingsPanel::showPane(const QUrl& url) {
    const QString query = url.query();
    const bool accessibility = query == u"Privacy_Accessibility";
    const bool inputMonitoring = query == u"Privacy_ListenEvent";
    setEmphasis(m_accessibility, accessibility);
    setEmphasis(m_inputMonitoring, inputMonitoring);
    m_pane->setText(accessibility ? u"Accessibility"_s : inputMonitoring ? u"Input Monitoring"_s : u"Permissions"_s);
}

QString SimSettingsPanel::paneText() const {
    return m_pane->text();
}

void SimSettingsPanel::syncFromSession() {
    // Setting a box to the session's value emits toggled only on a change, which writes the same value back.
    m_accessibility->setChecked(m_session.accessibilityTrusted());
    m_inputMonitoring->setChecked(m_session.inputMonitoringGranted());
}
