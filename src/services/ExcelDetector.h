#pragma once

#include <QObject>
#include <QString>
#include <QVariant>
#include <memory>
#include <optional>

class Accessibility;
class Scheduler;
class Timer;
class Workspace;

// Whether the spreadsheet runs and which workbook its first window shows, refreshed every 3 seconds
// while monitoring. Both properties are assigned (and their signals emitted) on every refresh, changed
// or not. Main thread only.
class ExcelDetector : public QObject {
    Q_OBJECT
    Q_PROPERTY(bool isExcelRunning READ isExcelRunning NOTIFY isExcelRunningChanged)
    // The workbook name, or an invalid QVariant when there is none (an empty name is a value).
    Q_PROPERTY(QVariant currentFileName READ currentFileNameValue NOTIFY currentFileNameChanged)

public:
    static constexpr double monitoringInterval = 3.0;

    // Reads nothing until monitoring starts.
    ExcelDetector(Workspace& workspace, Accessibility& accessibility, Scheduler& scheduler, QObject* parent = nullptr);
    // Invalidates the monitoring timer so that it does not outlive the detector.
    ~ExcelDetector() override;

    bool isExcelRunning() const { return m_isExcelRunning; }
    const std::optional<QString>& currentFileName() const { return m_currentFileName; }
    QVariant currentFileNameValue() const;

    bool isMonitoring() const;

    // Refreshes at once, then every 3 seconds. A start while monitoring replaces the running timer.
    void startMonitoring();
    void stopMonitoring();

signals:
    void isExcelRunningChanged(bool running);
    void currentFileNameChanged();

private:
    void update();
    std::optional<QString> detectFileName(qint32 pid) const;

    Workspace& m_workspace;
    Accessibility& m_accessibility;
    Scheduler& m_scheduler;
    bool m_isExcelRunning = false;
    std::optional<QString> m_currentFileName;
    std::shared_ptr<Timer> m_timer;
};
