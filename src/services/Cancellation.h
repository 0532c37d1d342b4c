#pragma once

#include <QObject>

// Lets a caller stop requests it started: every request handed the token is aborted by cancel()
// (one handed it afterwards fails before sending) and then throws a cancelled transport error.
// Main thread only.
class Cancellation : public QObject {
    Q_OBJECT
public:
    using QObject::QObject;

    // Only the first call has an effect.
    void cancel();
    bool isCancelled() const { return m_cancelled; }

signals:
    void cancelled();

private:
    bool m_cancelled = false;
};
