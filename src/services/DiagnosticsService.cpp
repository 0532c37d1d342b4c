#include "services/DiagnosticsService.h"

#include <QFuture>
#include <QtConcurrent/QtConcurrentRun>

#include <qcoro/qcorofuture.h>

#include "models/SequenceRecord.h"
#include "platform/Clock.h"
#include "platform/EventServices.h"
#include "platform/UserDefaults.h"
#include "platform/Workspace.h"
#include "services/UsageStore.h"

namespace {

const QString kExcelBundleIdentifier = QStringLiteral("com.microsoft.Excel");
constexpr int kMaxWindows = 3;
constexpr int kMaxDepth = 7;
constexpr qsizetype kMaxChildren = 200;
// Lines of the whole dump, its closing note included; a busy spreadsheet would give millions.
constexpr qsizetype kMaxLines = 20000;
constexpr qsizetype kMaxTopShortcuts = 10;

QString grantedText(bool granted) {
    return granted ? QStringLiteral("GRANTED") : QStringLiteral("DENIED");
}

QString boolText(bool value) {
    return value ? QStringLiteral("true") : QStringLiteral("false");
}

// A string attribute, or nothing when it is missing, unreadable or not a string.
std::optional<QString> readString(const Accessibility& accessibility, const AXElement& element,
                                  const QString& attribute) {
    const AXResult result = accessibility.copyAttributeValue(element, attribute);
    if (result.ok() && result.value.kind == AXValue::Kind::String) {
        return result.value.string;
    }
    return std::nullopt;
}

// An element list attribute; empty when missing, unreadable or not a list.
QList<AXElement> readElements(const Accessibility& accessibility, const AXElement& element, const QString& attribute) {
    const AXResult result = accessibility.copyAttributeValue(element, attribute);
    return result.ok() && result.value.kind == AXValue::Kind::ElementList ? result.value.elements : QList<AXElement>();
}

}  // namespace

DiagnosticsService::DiagnosticsService(BundleInfo bundleInfo, UserDefaults& defaults, Accessibility& accessibility,
                                       EventServices& events, Workspace& workspace, UsageStore& usageStore,
                                       Clock& clock)
    : m_bundleInfo(std::move(bundleInfo)),
      m_defaults(defaults),
      m_accessibility(accessibility),
      m_events(events),
      m_workspace(workspace),
      m_usageStore(usageStore),
      m_clock(clock) {}

QString DiagnosticsService::generateLogReport(const QStringList& capturedSequence, const QString& email) const {
    bool excelRunning = false;
    for (const RunningApplication& app : m_workspace.runningApplications()) {
        if (app.bundleIdentifier && *app.bundleIdentifier == kExcelBundleIdentifier) {
            excelRunning = true;
            break;
        }
    }

    QStringList topLines;
    const QList<SequenceRecord> top = m_usageStore.topShortcuts();
    for (qsizetype i = 0; i < top.size() && i < kMaxTopShortcuts; ++i) {
        topLines << QStringLiteral("  ") + top.at(i).name + QStringLiteral(": ") + QString::number(top.at(i).count) +
                        QLatin1Char('x');
    }

    QString log;
    log += QStringLiteral("=== QMX Diagnostic Log ===\nDate:        ");
    log += m_clock.now().toUTC().toString(Qt::ISODate);
    log += QStringLiteral("\nApp Version: ") + m_bundleInfo.shortVersion.value_or(QStringLiteral("?"));
    log += QStringLiteral("\nmacOS:       ") + m_bundleInfo.operatingSystemVersionString;
    log += QStringLiteral("\nArch:        ") + m_bundleInfo.architecture;
    log += QStringLiteral("\nInstall ID:  ") +
           m_defaults.stringForKey(QStringLiteral("deviceId")).value_or(QStringLiteral("?"));
    log += QStringLiteral("\n\n=== Contact ===\nEmail: ") + (email.isEmpty() ? QStringLiteral("(none)") : email);
    log +=
        QStringLiteral("\n\n=== Permissions ===\nAccessibility:    ") + grantedText(m_accessibility.isProcessTrusted());
    log += QStringLiteral("\nInput Monitoring: ") + grantedText(m_events.preflightListenEventAccess());
    log += QStringLiteral("\n\n=== Settings ===");
    log += QStringLiteral("\nisPaused: ") + boolText(m_defaults.boolForKey(QStringLiteral("isPaused")));
    log += QStringLiteral("\n\n=== Excel ===\nRunning: ") + boolText(excelRunning);
    log += QStringLiteral("\n\n=== Reported Key Sequence ===\n") +
           (capturedSequence.isEmpty() ? QStringLiteral("(none)") : capturedSequence.join(QStringLiteral(" → ")));
    log += QStringLiteral("\n\n=== Top Shortcuts ===\n") +
           (topLines.isEmpty() ? QStringLiteral("(none)") : topLines.join(QLatin1Char('\n')));
    return log;
}

QCoro::Task<QString> DiagnosticsService::generateAXDump() const {
    std::optional<RunningApplication> excel;
    for (const RunningApplication& app : m_workspace.runningApplications()) {
        if (app.bundleIdentifier && *app.bundleIdentifier == kExcelBundleIdentifier) {
            excel = app;
            break;
        }
    }
    if (!excel) {
        co_return QStringLiteral("=== Excel AX Hierarchy ===\n[Excel not running]");
    }

    // Only the pid, the name and the accessibility layer (which guards itself) cross to the worker.
    const Accessibility* accessibility = &m_accessibility;
    const qint32 pid = excel->processIdentifier;
    const QString name = excel->localizedName.value_or(QStringLiteral("?"));
    // Named before the co_await: GCC 12 destroys a lambda temporary inside a co_await expression
    // twice, which released the shared name once too often.
    const auto walk = [accessibility, pid, name] { return buildAXDump(*accessibility, pid, name); };
    QFuture<QString> dump = QtConcurrent::run(walk);
    co_return co_await dump;
}

bool DiagnosticsService::DumpLines::add(const QString& entry) {
    const qsizetype count = entry.count(QLatin1Char('\n')) + 1;
    // One line stays free for the note that ends a cut dump.
    if (cut || textLines + count > kMaxLines - 1) {
        cut = true;
        return false;
    }
    entries << entry;
    textLines += count;
    return true;
}

QString DiagnosticsService::DumpLines::text() const {
    QStringList all = entries;
    if (cut) {
        all << QStringLiteral("[Dump cut at %1 lines — the rest of the tree is left out]").arg(kMaxLines);
    }
    return all.join(QLatin1Char('\n'));
}

QString DiagnosticsService::buildAXDump(const Accessibility& accessibility, qint32 pid, const QString& appName) {
    DumpLines lines;
    lines.add(QStringLiteral("=== Excel AX Hierarchy ==="));
    lines.add(QStringLiteral("PID: ") + QString::number(pid) + QStringLiteral("  Name: ") + appName);

    const AXElement application = accessibility.createApplication(pid);
    const QList<AXElement> windows = readElements(accessibility, application, QStringLiteral("AXWindows"));
    if (windows.isEmpty()) {
        lines.add(QStringLiteral("[No accessible windows — Accessibility permission required]"));
        return lines.text();
    }
    for (qsizetype i = 0; i < windows.size() && i < kMaxWindows && !lines.cut; ++i) {
        if (lines.add(QStringLiteral("\n--- Window %1 ---").arg(i + 1))) {
            appendElement(accessibility, windows.at(i), 0, lines);
        }
    }
    return lines.text();
}

void DiagnosticsService::appendElement(const Accessibility& accessibility, const AXElement& element, int depth,
                                       DumpLines& lines) {
    // A full dump reads nothing more.
    if (depth > kMaxDepth || lines.cut) {
        return;
    }
    const QString role = readString(accessibility, element, QStringLiteral("AXRole")).value_or(QStringLiteral("?"));
    // Tables would flood the dump; their rows, cells and columns are left out whole.
    if (role == QLatin1String("AXRow") || role == QLatin1String("AXCell") || role == QLatin1String("AXColumn")) {
        return;
    }
    const QString title = readString(accessibility, element, QStringLiteral("AXTitle")).value_or(QString());
    const QString description = readString(accessibility, element, QStringLiteral("AXDescription")).value_or(QString());
    const QString subrole = readString(accessibility, element, QStringLiteral("AXSubrole")).value_or(QString());

    const QString indent(depth * 2, QLatin1Char(' '));
    QString line = indent + role;
    if (!subrole.isEmpty()) {
        line += QLatin1Char('(') + subrole + QLatin1Char(')');
    }
    if (!title.isEmpty()) {
        line += QStringLiteral(" '") + title + QLatin1Char('\'');
    }
    if (!description.isEmpty() && description != title) {
        line += QStringLiteral(" [") + description + QLatin1Char(']');
    }
    if (!lines.add(line)) {
        return;
    }

    const QList<AXElement> children = readElements(accessibility, element, QStringLiteral("AXChildren"));
    if (children.size() > kMaxChildren) {
        lines.add(indent + QStringLiteral("  … (") + QString::number(children.size()) +
                  QStringLiteral(" children — skipped)"));
        return;
    }
    for (const AXElement& child : children) {
        appendElement(accessibility, child, depth + 1, lines);
    }
}
