#include "views/main/ReportIssueCheckRow.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QPainter>
#include <QPushButton>
#include <QVBoxLayout>

#include "views/shared/Style.h"
#include "views/shared/SymbolView.h"

ReportIssueCheckRow::ReportIssueCheckRow(const QString& label, const QString& actionTitle,
                                         std::function<void()> onAction, QWidget* parent)
    : QWidget(parent) {
    auto* row = new QHBoxLayout(this);
    row->setContentsMargins(10, 10, 10, 10);
    row->setSpacing(10);

    m_icon = new SymbolView(QStringLiteral("exclamationmark.circle.fill"), 16, Style::orange(), this);
    m_icon->setFixedWidth(18);
    row->addWidget(m_icon, 0, Qt::AlignVCenter);

    auto* texts = new QVBoxLayout;
    texts->setSpacing(1);
    m_label = Style::label(label, Style::font(12, QFont::Medium), Style::primary(), this);
    m_detail = Style::label(QString(), Style::font(11), Style::secondary(), this);
    texts->addWidget(m_label);
    texts->addWidget(m_detail);
    row->addLayout(texts, 1);

    if (!actionTitle.isEmpty() && onAction) {
        m_action = new QPushButton(actionTitle, this);
        m_action->setFont(Style::font(11));
        m_action->setFocusPolicy(Qt::NoFocus);
        m_action->setAutoDefault(false);
        m_action->setCursor(Qt::PointingHandCursor);
        connect(m_action, &QPushButton::clicked, this, [onAction] { onAction(); });
        row->addWidget(m_action, 0, Qt::AlignVCenter);
    }
    setState(QString(), false);
}

void ReportIssueCheckRow::setState(const QString& detail, bool ok) {
    m_ok = ok;
    m_icon->setName(ok ? QStringLiteral("checkmark.circle.fill") : QStringLiteral("exclamationmark.circle.fill"));
    m_icon->setColor(ok ? Style::green() : Style::orange());
    m_detail->setText(detail);
    if (m_action != nullptr) {
        m_action->setVisible(!ok);
    }
}

QString ReportIssueCheckRow::label() const {
    return m_label->text();
}
QString ReportIssueCheckRow::detail() const {
    return m_detail->text();
}

void ReportIssueCheckRow::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    Style::paintRoundedRect(painter, QRectF(rect()), 8, Style::withOpacity(QColor(Qt::gray), 0.07));
}
