#pragma once

#include <optional>

#include "views/main/EngineStatus.h"
#include "views/shared/Card.h"

class DashboardPowerButton;
class DashboardPulseRing;
class QLabel;
class QPushButton;
class Scheduler;

// The dashboard's power card: the power button (with its pulse ring), the status label and
// description, and, when permissions are missing, the grant buttons for what is missing plus the
// privacy line. The card only draws and forwards clicks; the dashboard decides what they do.
class DashboardPowerCard : public Card {
    Q_OBJECT
public:
    // `scheduler` defers the ring's restart after a change to the active status.
    explicit DashboardPowerCard(Scheduler& scheduler, QWidget* parent = nullptr);

    // The grant flags matter only for `noPermission`: each missing one gets its grant column.
    void setState(EngineStatus status, bool accessibilityTrusted, bool inputMonitoringGranted);

    std::optional<EngineStatus> status() const { return m_status; }
    bool isPulsing() const;

    DashboardPowerButton* powerButton() const { return m_button; }
    DashboardPulseRing* pulseRing() const { return m_ring; }
    QLabel* statusLabel() const { return m_label; }
    QLabel* statusDescription() const { return m_description; }
    QWidget* permissionBlock() const { return m_permissionBlock; }
    QWidget* accessibilityColumn() const { return m_accessibilityColumn; }
    QWidget* inputMonitoringColumn() const { return m_inputMonitoringColumn; }
    QPushButton* grantAccessibilityButton() const { return m_grantAccessibility; }
    QPushButton* grantInputMonitoringButton() const { return m_grantInputMonitoring; }
    QPushButton* privacyPolicyButton() const { return m_privacyPolicy; }

signals:
    void powerTapped();
    void grantAccessibilityRequested();
    void grantInputMonitoringRequested();
    void privacyPolicyRequested();

protected:
    void showEvent(QShowEvent* event) override;
    void hideEvent(QHideEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void applyLook(EngineStatus status);
    void startPulsing();

    Scheduler& m_scheduler;
    std::optional<EngineStatus> m_status;
    DashboardPulseRing* m_ring = nullptr;
    DashboardPowerButton* m_button = nullptr;
    QLabel* m_label = nullptr;
    QLabel* m_description = nullptr;
    QWidget* m_permissionBlock = nullptr;
    QWidget* m_accessibilityColumn = nullptr;
    QWidget* m_inputMonitoringColumn = nullptr;
    QPushButton* m_grantAccessibility = nullptr;
    QPushButton* m_grantInputMonitoring = nullptr;
    QLabel* m_accessibilityHint = nullptr;
    QLabel* m_inputMonitoringHint = nullptr;
    QLabel* m_privacyLine = nullptr;
    QPushButton* m_privacyPolicy = nullptr;
};
