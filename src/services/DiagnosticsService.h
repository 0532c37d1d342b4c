#pragma once

#include <QString>
#include <QStringList>
#include <QtGlobal>

#include <qcoro/qcorotask.h>

#include "platform/Accessibility.h"
#include "platform/BundleInfo.h"

class Clock;
class EventServices;
class UsageStore;
class UserDefaults;
class Workspace;

// The two texts an issue report uploads: the diagnostic log and a dump of the spreadsheet's
// accessibility tree. Holds no state of its own; every value is read at the moment of the call.
// Lines are joined by a line feed, with none at the end.
class DiagnosticsService {
public:
    DiagnosticsService(BundleInfo bundleInfo, UserDefaults& defaults, Accessibility& accessibility,
                       EventServices& events, Workspace& workspace, UsageStore& usageStore, Clock& clock);

    // Main thread.
    QString generateLogReport(const QStringList& capturedSequence, const QString& email) const;

    // Reads the running applications on the main thread, then walks the tree on a pool thread and
    // resumes the caller on the main thread with the text: at most 20,000 lines, the last of which
    // says so when the tree had more. The accessibility layer must outlive the returned task;
    // nothing of this object is touched once the walk has started.
    QCoro::Task<QString> generateAXDump() const;

private:
    // The dump's lines, bounded in total; once full it takes nothing more and ends with a note.
    struct DumpLines {
        QStringList entries;
        qsizetype textLines = 0;  // an entry may hold a line feed of its own
        bool cut = false;
        // False (and the dump cut) when the entry no longer fits.
        bool add(const QString& entry);
        QString text() const;
    };

    // Pool thread: only the accessibility reads, no other shared state.
    static QString buildAXDump(const Accessibility& accessibility, qint32 pid, const QString& appName);
    static void appendElement(const Accessibility& accessibility, const AXElement& element, int depth,
                              DumpLines& lines);

    BundleInfo m_bundleInfo;
    UserDefaults& m_defaults;
    Accessibility& m_accessibility;
    EventServices& m_events;
    Workspace& m_workspace;
    UsageStore& m_usageStore;
    Clock& m_clock;
};
