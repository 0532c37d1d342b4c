#pragma once

#include <QObject>
#include <QStringList>

#include "platform/KeyMonitor.h"

// Records the keys pressed in this application as display tokens ("⌥", "H", "B", "A") while it
// listens. It only observes: every event goes on unchanged. Main thread only.
class KeyCapture final : public QObject {
    Q_OBJECT
    Q_PROPERTY(QStringList keys READ keys NOTIFY keysChanged)
public:
    explicit KeyCapture(KeyMonitor& monitor, QObject* parent = nullptr);
    // Removes a listener that is still installed, so none outlives the recorder.
    ~KeyCapture() override;

    QStringList keys() const { return m_keys; }
    bool isListening() const { return m_monitor != nullptr; }

    // Listens for key-down and modifier-change events. Does not clear the keys; every start()
    // must be paired with a stop().
    void start();
    // Stops listening; harmless when not listening.
    void stop();
    // Clears the keys; listening is not affected.
    void reset();

signals:
    // Once per appended token, and on reset.
    void keysChanged();

private:
    void handle(const LocalKeyEvent& event);
    void append(const QString& token);

    KeyMonitor& m_keyMonitor;
    QStringList m_keys;
    KeyMonitorToken m_monitor;
    quint64 m_prevFlags = 0;
};
