#pragma once

#include <QDateTime>

// The wall clock; the simulated one lets tests place "now" anywhere (a local midnight, say).
class Clock {
public:
    virtual ~Clock() = default;
    virtual QDateTime now() const = 0;
};

class SystemClock final : public Clock {
public:
    // UTC: reading the local zone costs a system call per stamp; callers convert when they need local time.
    QDateTime now() const override { return QDateTime::currentDateTimeUtc(); }
};
