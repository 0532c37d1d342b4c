#include "services/ExcelDetector.h"

#include <QPointer>

#include "platform/Accessibility.h"
#include "platform/Scheduler.h"
#include "platform/Workspace.h"

namespace {

const QString kExcelBundleIdentifier = QStringLiteral("com.microsoft.Excel");
const QString kLongSuffix = QStringLiteral(" - Microsoft Excel");
const QString kShortSuffix = QStringLiteral(" - Excel");

// Tabs and the Unicode space separators; line breaks are kept.
bool isHorizontalWhitespace(QChar c) {
    return c == QLatin1Char('\t') || c.category() == QChar::Separator_Space;
}

QString trimmedHorizontally(const QString& text) {
    qsizetype begin = 0;
    qsizetype end = text.size();
    while (begin < end && isHorizontalWhitespace(text.at(begin))) {
        ++begin;
    }
    while (end > begin && isHorizontalWhitespace(text.at(end - 1))) {
        --end;
    }
    return text.mid(begin, end - begin);
}

}  // namespace

ExcelDetector::ExcelDetector(Workspace& workspace, Accessibility& accessibility, Scheduler& scheduler, QObject* parent)
    : QObject(parent), m_workspace(workspace), m_accessibility(accessibility), m_scheduler(scheduler) {}

ExcelDetector::~ExcelDetector() {
    stopMonitoring();
}

QVariant ExcelDetector::currentFileNameValue() const {
    return m_currentFileName ? QVariant(*m_currentFileName) : QVariant();
}

bool ExcelDetector::isMonitoring() const {
    return m_timer != nullptr;
}

void ExcelDetector::startMonitoring() {
    // The dashboard starts us each time it appears; never leave an older timer ticking beside the new one.
    stopMonitoring();
    update();
    QPointer<ExcelDetector> weakSelf(this);
    m_timer = m_scheduler.scheduleTimer(monitoringInterval, true, [weakSelf] {
        if (weakSelf) {
            weakSelf->update();
        }
    });
}

void ExcelDetector::stopMonitoring() {
    if (m_timer) {
        m_timer->invalidate();
        m_timer.reset();
    }
}

void ExcelDetector::update() {
    bool running = false;
    std::optional<QString> fileName;
    for (const RunningApplication& app : m_workspace.runningApplications()) {
        if (app.bundleIdentifier && *app.bundleIdentifier == kExcelBundleIdentifier) {
            running = true;
            fileName = detectFileName(app.processIdentifier);
            break;
        }
    }
    // The publication runs on a later turn; a detector destroyed by then is simply not published to.
    QPointer<ExcelDetector> target(this);
    m_scheduler.post([target, running, fileName] {
        if (!target) {
            return;
        }
        target->m_isExcelRunning = running;
        emit target->isExcelRunningChanged(running);
        if (!target) {
            return;
        }
        target->m_currentFileName = fileName;
        emit target->currentFileNameChanged();
    });
}

std::optional<QString> ExcelDetector::detectFileName(qint32 pid) const {
    const AXElement application = m_accessibility.createApplication(pid);
    const AXResult windows = m_accessibility.copyAttributeValue(application, QStringLiteral("AXWindows"));
    if (!windows.ok() || windows.value.kind != AXValue::Kind::ElementList || windows.value.elements.isEmpty()) {
        return std::nullopt;
    }
    const AXResult title =
        m_accessibility.copyAttributeValue(windows.value.elements.first(), QStringLiteral("AXTitle"));
    if (!title.ok() || title.value.kind != AXValue::Kind::String || title.value.string.isEmpty()) {
        return std::nullopt;
    }
    const QString& text = title.value.string;
    if (text.endsWith(kLongSuffix)) {
        return trimmedHorizontally(text.chopped(kLongSuffix.size()));
    }
    if (text.endsWith(kShortSuffix)) {
        return trimmedHorizontally(text.chopped(kShortSuffix.size()));
    }
    return text;
}
