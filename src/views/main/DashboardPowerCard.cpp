#include "views/main/DashboardPowerCard.h"

#include <QEvent>
#include <QHBoxLayout>
#include <QLabel>
#include <QPointer>
#include <QPushButton>
#include <QVBoxLayout>

#include "platform/Scheduler.h"
#include "views/main/DashboardPowerButton.h"
#include "views/main/DashboardPulseRing.h"
#include "views/shared/Style.h"

namespace {

constexpr double kPulseRestartDelay = 0.05;

QWidget* grantColumn(QWidget* parent, QPushButton* button, QLabel* hint) {
    auto* column = new QWidget(parent);
    auto* layout = new QVBoxLayout(column);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(4);
    layout->addWidget(button, 0, Qt::AlignLeft);
    layout->addWidget(hint);
    return column;
}

}  // namespace

DashboardPowerCard::DashboardPowerCard(Scheduler& scheduler, QWidget* parent)
    : Card(Style::accent(), 0.08, 0.1, parent), m_scheduler(scheduler) {
    auto* row = new QHBoxLayout(this);
    row->setContentsMargins(16, 16, 16, 16);
    row->setSpacing(16);

    // The ring lives beside the button, over it (it lets clicks through and draws the button
    // beneath it), so that it can grow past the button's bounds.
    m_button = new DashboardPowerButton(this);
    m_button->setObjectName(QStringLiteral("powerButton"));
    m_ring = new DashboardPulseRing(scheduler, this);
    m_button->installEventFilter(this);
    connect(m_button, &QAbstractButton::pressed, m_ring, &DashboardPulseRing::invalidateBackdrop);
    connect(m_button, &QAbstractButton::released, m_ring, &DashboardPulseRing::invalidateBackdrop);
    connect(m_button, &QAbstractButton::clicked, this, &DashboardPowerCard::powerTapped);
    row->addWidget(m_button, 0, Qt::AlignVCenter);

    auto* column = new QVBoxLayout;
    column->setSpacing(6);
    // Centred beside the button when shorter than it.
    column->addStretch(1);
    m_label = Style::label(QString(), Style::font(13, QFont::DemiBold), Style::accent(), this);
    m_label->setObjectName(QStringLiteral("statusLabel"));
    m_description = Style::label(QString(), Style::font(12), Style::accent(), this, true);
    m_description->setObjectName(QStringLiteral("statusDescription"));
    column->addWidget(m_label);
    column->addWidget(m_description);

    m_permissionBlock = new QWidget(this);
    auto* block = new QVBoxLayout(m_permissionBlock);
    block->setContentsMargins(0, 0, 0, 0);
    block->setSpacing(6);

    const QColor red = Style::red();
    m_grantAccessibility = Style::prominentButton(QStringLiteral("Grant Accessibility"), red, true, m_permissionBlock);
    m_accessibilityHint = Style::label(
        QStringLiteral("Required to interact with Microsoft Excel. If you had already granted, remove current grant, "
                       "and add the app from Applications again."),
        Style::font(10), Style::withOpacity(red, 0.7), m_permissionBlock, true);
    m_accessibilityColumn = grantColumn(m_permissionBlock, m_grantAccessibility, m_accessibilityHint);
    block->addWidget(m_accessibilityColumn);

    m_grantInputMonitoring =
        Style::prominentButton(QStringLiteral("Grant Input Monitoring"), red, true, m_permissionBlock);
    m_inputMonitoringHint = Style::label(
        QStringLiteral("In Settings, press + → add Keyloom → toggle it on. If you had already granted, remove current "
                       "grant, and add the app from Applications again."),
        Style::font(10), Style::withOpacity(red, 0.7), m_permissionBlock, true);
    m_inputMonitoringColumn = grantColumn(m_permissionBlock, m_grantInputMonitoring, m_inputMonitoringHint);
    block->addWidget(m_inputMonitoringColumn);

    auto* privacyRow = new QHBoxLayout;
    privacyRow->setSpacing(4);
    m_privacyLine = Style::label(QStringLiteral("We don't collect any keyboard or other data."), Style::font(10),
                                 Style::withOpacity(red, 0.6), m_permissionBlock);
    m_privacyPolicy = Style::plainButton(QStringLiteral("Privacy Policy"), Style::font(10), red, m_permissionBlock);
    privacyRow->addWidget(m_privacyLine, 0, Qt::AlignVCenter);
    privacyRow->addWidget(m_privacyPolicy, 0, Qt::AlignVCenter);
    privacyRow->addStretch(1);
    block->addLayout(privacyRow);
    column->addWidget(m_permissionBlock);
    column->addStretch(1);

    row->addLayout(column, 1);

    connect(m_grantAccessibility, &QPushButton::clicked, this, &DashboardPowerCard::grantAccessibilityRequested);
    connect(m_grantInputMonitoring, &QPushButton::clicked, this, &DashboardPowerCard::grantInputMonitoringRequested);
    connect(m_privacyPolicy, &QPushButton::clicked, this, &DashboardPowerCard::privacyPolicyRequested);

    m_permissionBlock->hide();
    // Above every other child: it draws what lies beneath it.
    m_ring->raise();
}

void DashboardPowerCard::setState(EngineStatus status, bool accessibilityTrusted, bool inputMonitoringGranted) {
    const std::optional<EngineStatus> previous = m_status;
    m_status = status;
    applyLook(status);

    const bool missing = status == EngineStatus::noPermission;
    m_permissionBlock->setVisible(missing);
    m_accessibilityColumn->setVisible(missing && !accessibilityTrusted);
    m_inputMonitoringColumn->setVisible(missing && !inputMonitoringGranted);
    if (previous != status) {
        m_ring->invalidateBackdrop();  // the card's tint, the button and the label changed
    }

    if (previous && *previous != status) {
        // The ring restarts from rest; back in the active status it pulses again shortly after.
        m_ring->setPulsing(false);
        if (status == EngineStatus::active) {
            QPointer<DashboardPowerCard> self(this);
            m_scheduler.postAfter(kPulseRestartDelay, [self] {
                if (self) {
                    self->startPulsing();
                }
            });
        }
    }
}

bool DashboardPowerCard::isPulsing() const {
    return m_ring->isPulsing();
}

void DashboardPowerCard::applyLook(EngineStatus status) {
    const QColor color = EngineStatuses::color(status);
    setTint(color);
    m_ring->setColor(color);
    m_ring->setActive(status == EngineStatus::active);
    m_button->setLook(EngineStatuses::icon(status), color);
    m_button->setToolTip(EngineStatuses::buttonHelp(status));
    m_label->setText(EngineStatuses::label(status));
    Style::setLabelColor(m_label, color);
    m_description->setText(EngineStatuses::description(status));
    Style::setLabelColor(m_description, Style::withOpacity(color, 0.7));
}

void DashboardPowerCard::startPulsing() {
    m_ring->setPulsing(true);
}

void DashboardPowerCard::showEvent(QShowEvent* event) {
    Card::showEvent(event);
    m_ring->centerOn(m_button->geometry().center());
    if (m_status == EngineStatus::active) {
        startPulsing();
    }
}

void DashboardPowerCard::hideEvent(QHideEvent* event) {
    Card::hideEvent(event);
    // Off screen the ring need not run; it starts again when the card comes back.
    m_ring->setPulsing(false);
}

void DashboardPowerCard::resizeEvent(QResizeEvent* event) {
    Card::resizeEvent(event);
    m_ring->invalidateBackdrop();  // the card's corners and shadow beneath the ring moved
}

bool DashboardPowerCard::eventFilter(QObject* watched, QEvent* event) {
    if (watched == m_button && (event->type() == QEvent::Move || event->type() == QEvent::Resize)) {
        m_ring->centerOn(m_button->geometry().center());
    }
    return Card::eventFilter(watched, event);
}
