#include "views/main/ReportIssueSuccessPage.h"

#include <QLabel>
#include <QPainter>
#include <QPushButton>
#include <QVBoxLayout>

#include "views/shared/Style.h"
#include "views/shared/SymbolView.h"

namespace {

// The gray rounded box behind the reference id.
class ReferenceBox : public QWidget {
public:
    using QWidget::QWidget;

protected:
    void paintEvent(QPaintEvent*) override {
        QPainter painter(this);
        Style::paintRoundedRect(painter, QRectF(rect()), 8, Style::withOpacity(QColor(Qt::gray), 0.08));
    }
};

}  // namespace

ReportIssueSuccessPage::ReportIssueSuccessPage(QWidget* parent) : QWidget(parent) {
    auto* column = new QVBoxLayout(this);
    column->setContentsMargins(24, 24, 24, 24);
    column->setSpacing(16);
    column->addStretch(1);
    column->addWidget(new SymbolView(QStringLiteral("checkmark.circle.fill"), 44, Style::green(), this), 0,
                      Qt::AlignHCenter);
    column->addWidget(
        Style::label(QStringLiteral("Report Submitted"), Style::font(16, QFont::DemiBold), Style::primary(), this), 0,
        Qt::AlignHCenter);

    m_reference = new ReferenceBox(this);
    auto* reference = new QVBoxLayout(m_reference);
    reference->setContentsMargins(20, 10, 20, 10);
    reference->setSpacing(4);
    reference->addWidget(Style::label(QStringLiteral("Reference ID"), Style::font(11), Style::secondary(), m_reference),
                         0, Qt::AlignHCenter);
    m_issueId = Style::label(QString(), Style::font(12, QFont::Normal, true), Style::secondary(), m_reference);
    m_issueId->setTextInteractionFlags(Qt::TextSelectableByMouse | Qt::TextSelectableByKeyboard);
    reference->addWidget(m_issueId, 0, Qt::AlignHCenter);
    column->addWidget(m_reference, 0, Qt::AlignHCenter);

    auto* note =
        Style::label(QStringLiteral("We'll review the diagnostic data and follow up if you provided an email."),
                     Style::font(12), Style::secondary(), this, true);
    note->setAlignment(Qt::AlignHCenter);
    note->setContentsMargins(32, 0, 32, 0);
    column->addWidget(note);

    m_close = Style::prominentButton(QStringLiteral("Close"), Style::accent(), false, this);
    m_close->setAutoDefault(false);
    m_close->setFocusPolicy(Qt::NoFocus);
    connect(m_close, &QPushButton::clicked, this, &ReportIssueSuccessPage::closeClicked);
    column->addWidget(m_close, 0, Qt::AlignHCenter);
    column->addStretch(1);
    setIssueId(std::nullopt);
}

void ReportIssueSuccessPage::setIssueId(const std::optional<QString>& issueId) {
    m_issueId->setText(issueId.value_or(QString()));
    m_reference->setVisible(issueId.has_value());
}
