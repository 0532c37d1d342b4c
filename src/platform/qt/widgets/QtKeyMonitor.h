#pragma once

#include <QList>
#include <QObject>
#include <memory>

#include "platform/KeyMonitor.h"

class QKeyEvent;

// Local key monitoring over an application-wide Qt event filter. A key event reaches the filter
// once, when Qt hands it to one of this application's windows (before the focused widget gets it);
// the filter turns it into a LocalKeyEvent, shows it to the monitors and lets it go on unchanged.
// Events sent straight to a widget, bypassing its window, are not seen. Main thread only.
class QtKeyMonitor final : public QObject, public KeyMonitor {
    Q_OBJECT
public:
    explicit QtKeyMonitor(QObject* parent = nullptr);
    ~QtKeyMonitor() override;

    KeyMonitorToken addLocalMonitor(quint64 mask, Handler handler) override;
    void removeMonitor(const KeyMonitorToken& token) override;

    // Windows carrying this property (set to true) stand for other applications of the simulated
    // session; a local monitor never sees their keys, as on the platform.
    static constexpr const char* kForeignApplicationProperty = "keyloomForeignApplication";

    int monitorCount() const { return static_cast<int>(m_monitors.size()); }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    class Monitor;
    void translate(const QKeyEvent& event, bool press);
    void dispatch(const LocalKeyEvent& event);
    void setFilterInstalled(bool installed);

    QList<std::shared_ptr<Monitor>> m_monitors;
    bool m_filterInstalled = false;
    // Qt reports no caps-lock state of its own; it is tracked from the key's presses.
    bool m_capsLock = false;
};
