#pragma once

#include <QMutex>
#include <QStringList>

#include "platform/Console.h"

// A console that keeps its lines, for tests and scenarios. Safe to print to from any thread.
class RecordingConsole final : public Console {
public:
    void print(const QString& line) override;
    QStringList lines() const;
    void clear();

private:
    mutable QMutex m_mutex;
    QStringList m_lines;
};
