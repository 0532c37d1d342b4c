#include "views/main/ReportIssueCaptureBox.h"

#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QPainter>
#include <QScrollArea>
#include <QScrollBar>
#include <QStackedLayout>
#include <QVBoxLayout>

#include "views/main/ReportIssueKeyChip.h"
#include "views/shared/Style.h"
#include "views/shared/SymbolView.h"

ReportIssueCaptureBox::ReportIssueCaptureBox(QWidget* parent) : QWidget(parent) {
    setFixedHeight(100);
    setFocusPolicy(Qt::StrongFocus);
    m_stack = new QStackedLayout(this);

    m_prompt = new QWidget(this);
    auto* promptColumn = new QVBoxLayout(m_prompt);
    promptColumn->setSpacing(8);
    promptColumn->addStretch(1);
    promptColumn->addWidget(
        new SymbolView(QStringLiteral("keyboard"), 28, Style::withOpacity(Style::secondary(), 0.5), m_prompt), 0,
        Qt::AlignHCenter);
    promptColumn->addWidget(
        Style::label(QStringLiteral("Press your shortcut here…"), Style::font(12), Style::secondary(), m_prompt), 0,
        Qt::AlignHCenter);
    promptColumn->addStretch(1);
    m_stack->addWidget(m_prompt);

    m_scroll = new QScrollArea(this);
    m_scroll->setFrameShape(QFrame::NoFrame);
    m_scroll->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    m_scroll->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    m_scroll->setFocusPolicy(Qt::NoFocus);
    m_scroll->setStyleSheet(QStringLiteral("QScrollArea { background: transparent; }"));
    m_scroll->viewport()->setAutoFillBackground(false);
    m_row = new QWidget;
    m_rowLayout = new QHBoxLayout(m_row);
    m_rowLayout->setContentsMargins(16, 0, 16, 0);
    m_rowLayout->setSpacing(4);
    m_scroll->setWidget(m_row);
    m_scroll->setWidgetResizable(true);
    // The scroll area turns on its content's background; the box's own fill must show through.
    m_row->setAutoFillBackground(false);
    m_stack->addWidget(m_scroll);
    // The row grows once its layout is applied, a turn after the keys change; the range follows
    // then, and the newest key is kept in view.
    QScrollBar* bar = m_scroll->horizontalScrollBar();
    connect(bar, &QScrollBar::rangeChanged, bar, [bar](int, int max) { bar->setValue(max); });
}

bool ReportIssueCaptureBox::showsPrompt() const {
    return m_stack->currentWidget() == m_prompt;
}

void ReportIssueCaptureBox::setKeys(const QStringList& keys) {
    m_keys = keys;
    m_chips.clear();
    while (QLayoutItem* item = m_rowLayout->takeAt(0)) {
        delete item->widget();
        delete item;
    }
    if (keys.isEmpty()) {
        m_stack->setCurrentWidget(m_prompt);
        return;
    }
    for (qsizetype i = 0; i < keys.size(); ++i) {
        if (i > 0) {
            m_rowLayout->addWidget(Style::label(QStringLiteral("→"), Style::font(11), Style::secondary(), m_row), 0,
                                   Qt::AlignVCenter);
        }
        QLabel* chip = new ReportIssueKeyChip(keys.at(i), m_row);
        m_chips.append(chip);
        m_rowLayout->addWidget(chip, 0, Qt::AlignVCenter);
    }
    m_rowLayout->addStretch(1);
    m_stack->setCurrentWidget(m_scroll);
}

bool ReportIssueCaptureBox::event(QEvent* event) {
    // Tab would otherwise move the focus out of the box before the key reaches keyPressEvent.
    if (event->type() == QEvent::KeyPress || event->type() == QEvent::ShortcutOverride) {
        event->accept();
        if (event->type() == QEvent::KeyPress) {
            keyPressEvent(static_cast<QKeyEvent*>(event));
        }
        return true;
    }
    return QWidget::event(event);
}

void ReportIssueCaptureBox::keyPressEvent(QKeyEvent* event) {
    event->accept();
}
void ReportIssueCaptureBox::keyReleaseEvent(QKeyEvent* event) {
    event->accept();
}

void ReportIssueCaptureBox::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    const QColor accent = Style::accent();
    QPen pen(Style::withOpacity(accent, 0.5));
    pen.setWidthF(1.5);
    painter.setPen(pen);
    painter.setBrush(Style::withOpacity(accent, 0.04));
    painter.drawRoundedRect(QRectF(rect()).adjusted(0.75, 0.75, -0.75, -0.75), 12, 12);
}
