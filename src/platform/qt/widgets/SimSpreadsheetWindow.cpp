#include "platform/qt/widgets/SimSpreadsheetWindow.h"

#include <QCloseEvent>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QPlainTextEdit>
#include <QTextBlock>
#include <QVBoxLayout>
#include <algorithm>

#include "platform/qt/MacKeyCodes.h"
#include "platform/qt/widgets/QtKeyMonitor.h"
#include "platform/sim/SimKeyNames.h"
#include "platform/sim/SimSession.h"
#include "platform/sim/SimSpreadsheet.h"

using namespace Qt::StringLiterals;

namespace {

// Enough to follow a session; older lines scroll away.
constexpr int kMaxShownLines = 500;

QStringList texts(const QPlainTextEdit* log) {
    QStringList out;
    for (QTextBlock block = log->document()->begin(); block.isValid(); block = block.next()) {
        out.append(block.text());
    }
    if (out.size() == 1 && out.first().isEmpty()) {
        out.clear();  // an empty document still has one empty block
    }
    return out;
}

QString modifierGlyph(quint64 flag) {
    if (flag == EventFlags::Option)
        return u"⌥"_s;
    if (flag == EventFlags::Command)
        return u"⌘"_s;
    if (flag == EventFlags::Control)
        return u"⌃"_s;
    if (flag == EventFlags::Shift)
        return u"⇧"_s;
    if (flag == EventFlags::AlphaShift)
        return u"⇪"_s;
    return u"fn"_s;
}

// A plain-text log drops its oldest line in constant time and lays out only the line added, so
// typing as fast as the keyboard repeats never re-lays out the lines already shown. It follows the
// newest line unless the user scrolled up.
QPlainTextEdit* makeList(QWidget* parent) {
    auto* list = new QPlainTextEdit(parent);
    // Keys belong to the window: a focused log would eat arrows, Return and typing.
    list->setFocusPolicy(Qt::NoFocus);
    list->setReadOnly(true);
    list->setTextInteractionFlags(Qt::NoTextInteraction);
    list->setLineWrapMode(QPlainTextEdit::NoWrap);
    list->setMaximumBlockCount(kMaxShownLines);
    list->setUndoRedoEnabled(false);
    return list;
}

}  // namespace

SimSpreadsheetWindow::SimSpreadsheetWindow(SimSession& session, std::shared_ptr<SimSpreadsheet> spreadsheet,
                                           QWidget* parent)
    : QWidget(parent), m_session(session), m_spreadsheet(std::move(spreadsheet)) {
    setAttribute(Qt::WA_KeyCompression, false);
    setFocusPolicy(Qt::StrongFocus);
    // This window is another application of the session: Keyloom's own key monitor must not see it.
    setProperty(QtKeyMonitor::kForeignApplicationProperty, true);
    resize(720, 460);

    m_title = new QLabel(this);
    QFont titleFont = m_title->font();
    titleFont.setPointSizeF(titleFont.pointSizeF() * 1.4);
    titleFont.setBold(true);
    m_title->setFont(titleFont);

    auto* hint = new QLabel(
        u"Simulated Microsoft Excel. Type here: every key goes through the session's event taps first "
        u"(Alt is the Option key). Try Alt, then H, B, A."_s,
        this);
    hint->setWordWrap(true);
    m_state = new QLabel(this);

    m_typed = makeList(this);
    m_log = makeList(this);

    auto* typedBox = new QVBoxLayout;
    typedBox->addWidget(new QLabel(u"Typed"_s, this));
    typedBox->addWidget(m_typed);
    auto* logBox = new QVBoxLayout;
    logBox->addWidget(new QLabel(u"Received by Excel and pressed in it"_s, this));
    logBox->addWidget(m_log);
    auto* lists = new QHBoxLayout;
    lists->addLayout(typedBox, 2);
    lists->addLayout(logBox, 3);

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(m_title);
    layout->addWidget(hint);
    layout->addWidget(m_state);
    layout->addLayout(lists, 1);

    connect(m_spreadsheet.get(), &SimSpreadsheet::changed, this, &SimSpreadsheetWindow::refresh);
    refresh();
}

SimSpreadsheetWindow::~SimSpreadsheetWindow() = default;

QStringList SimSpreadsheetWindow::typedLines() const {
    return texts(m_typed);
}

QStringList SimSpreadsheetWindow::logLines() const {
    return texts(m_log);
}

QString SimSpreadsheetWindow::workbookTitleText() const {
    return m_title->text();
}

bool SimSpreadsheetWindow::event(QEvent* event) {
    switch (event->type()) {
        case QEvent::ShortcutOverride:
            // Claim every key so that no shortcut or focus chain takes it first.
            event->accept();
            return true;
        case QEvent::KeyPress:
        case QEvent::KeyRelease:
            if (typeKey(*static_cast<QKeyEvent*>(event), event->type() == QEvent::KeyPress)) {
                event->accept();
                return true;
            }
            break;
        case QEvent::WindowActivate:
            // The window in front is the spreadsheet in front.
            m_session.activate(m_spreadsheet);
            break;
        case QEvent::WindowDeactivate:
            releaseHeldModifiers();
            break;
        default:
            break;
    }
    return QWidget::event(event);
}

void SimSpreadsheetWindow::closeEvent(QCloseEvent* event) {
    releaseHeldModifiers();
    m_session.quit(m_spreadsheet);
    QWidget::closeEvent(event);
}

bool SimSpreadsheetWindow::typeKey(const QKeyEvent& event, bool press) {
    const int key = event.key();
    // Keys typed here go to the spreadsheet, so it must be the frontmost application.
    m_session.activate(m_spreadsheet);

    if (const quint64 flag = MacKeyCodes::modifierFlag(key)) {
        if (event.isAutoRepeat()) {
            return true;
        }
        const quint64 before = m_heldFlags;
        if (flag == EventFlags::AlphaShift) {
            if (press) {
                m_heldFlags ^= flag;
            }
        } else if (press) {
            m_heldFlags |= flag;
        } else {
            m_heldFlags &= ~flag;
        }
        if (m_heldFlags == before) {
            return true;
        }
        const bool reached = m_session.flagsChanged(m_heldFlags);
        addTyped(modifierGlyph(flag) + ((m_heldFlags & flag) ? u" down"_s : u" up"_s), reached);
        return true;
    }

    const auto code = MacKeyCodes::keyCode(key, event.modifiers());
    if (!code) {
        return false;
    }
    // The Mac sends no key-up for auto-repeated key downs.
    if (!press && event.isAutoRepeat()) {
        return true;
    }
    const quint64 flags = m_heldFlags | MacKeyCodes::flags(event.modifiers());
    const bool reached = press ? m_session.keyDown(*code, flags, event.isAutoRepeat()) : m_session.keyUp(*code, flags);
    if (press) {
        addTyped(SimKeyNames::chord(*code, flags) + (event.isAutoRepeat() ? u" (repeat)"_s : QString()), reached);
    }
    return true;
}

void SimSpreadsheetWindow::releaseHeldModifiers() {
    // A modifier released while another window had the keyboard would otherwise stay down.
    if (m_heldFlags == 0) {
        return;
    }
    m_heldFlags = 0;
    const bool reached = m_session.flagsChanged(0);
    addTyped(u"modifiers released"_s, reached);
}

void SimSpreadsheetWindow::addTyped(const QString& what, bool reached) {
    m_typed->appendPlainText(what + (reached ? u" — passed"_s : u" — swallowed"_s));
}

void SimSpreadsheetWindow::refresh() {
    const QString title = m_spreadsheet->workbookTitle();
    m_title->setText(title);
    setWindowTitle(title + u" — Microsoft Excel (simulated)"_s);

    QStringList state;
    const QStringList menus = m_spreadsheet->openMenus();
    if (!menus.isEmpty()) {
        state.append(u"Menu open: "_s + menus.join(u" › "_s));
    }
    if (m_spreadsheet->formatCellsDialog()) {
        state.append(u"Format Cells dialog open"_s);
    }
    if (m_spreadsheet->pasteSpecialDialog()) {
        state.append(u"Paste Special dialog open"_s);
    }
    m_state->setText(state.isEmpty() ? u"No menu or dialog open"_s : state.join(u" · "_s));

    // The log only grows, except when cleared; show what is new (of it, what the spreadsheet still keeps).
    const QStringList& log = m_spreadsheet->log();
    const qint64 count = m_spreadsheet->logCount();
    if (m_shownLogLines > count) {
        m_log->clear();
        m_shownLogLines = 0;
    }
    const qint64 fresh = std::min<qint64>(count - m_shownLogLines, log.size());
    for (qsizetype i = log.size() - fresh; i < log.size(); ++i) {
        m_log->appendPlainText(log[i]);
    }
    m_shownLogLines = count;
}
