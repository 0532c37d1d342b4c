#include "platform/sim/RecordingConsole.h"

#include <QMutexLocker>

void RecordingConsole::print(const QString& line) {
    QMutexLocker lock(&m_mutex);
    m_lines.append(line);
}

QStringList RecordingConsole::lines() const {
    QMutexLocker lock(&m_mutex);
    return m_lines;
}

void RecordingConsole::clear() {
    QMutexLocker lock(&m_mutex);
    m_lines.clear();
}
