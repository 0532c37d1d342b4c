#pragma once

#include <QProcess>
#include <memory>

// Another process holding the write lock beside the defaults file at `path` (through flock(1), in a lock file
// others can read, as older versions made it) until its input is closed; it then moves the file `theirs`, if
// given, over the defaults file, as a writer that read the file before and took long to write it would.
inline std::unique_ptr<QProcess> holdWriteLock(const QString& path, const QString& theirs = {}) {
    auto holder = std::make_unique<QProcess>();
    holder->start("flock", {path + ".lock", "sh", "-c", R"(echo held; cat >/dev/null; [ -z "$0" ] || mv "$0" "$1")",
                            theirs, path});
    holder->waitForReadyRead(30000);
    return holder;
}

inline void release(QProcess& holder) {
    holder.closeWriteChannel();
    holder.waitForFinished(30000);
}
