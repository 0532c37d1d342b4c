#include "views/main/ReportIssueFailurePage.h"

#include <QFrame>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

#include "views/shared/Style.h"
#include "views/shared/SymbolView.h"

ReportIssueFailurePage::ReportIssueFailurePage(const QString& supportEmail, QWidget* parent) : QWidget(parent) {
    auto* column = new QVBoxLayout(this);
    column->setContentsMargins(24, 24, 24, 24);
    column->setSpacing(16);
    column->addStretch(1);
    column->addWidget(new SymbolView(QStringLiteral("exclamationmark.triangle.fill"), 44, Style::orange(), this), 0,
                      Qt::AlignHCenter);
    column->addWidget(
        Style::label(QStringLiteral("Upload Failed"), Style::font(16, QFont::DemiBold), Style::primary(), this), 0,
        Qt::AlignHCenter);

    m_error = Style::label(QString(), Style::font(12), Style::secondary(), this, true);
    m_error->setAlignment(Qt::AlignHCenter);
    m_error->setContentsMargins(32, 0, 32, 0);
    column->addWidget(m_error);

    auto* buttons = new QHBoxLayout;
    buttons->setSpacing(12);
    m_cancel = new QPushButton(QStringLiteral("Cancel"), this);
    m_retry = Style::prominentButton(QStringLiteral("Retry"), Style::accent(), false, this);
    buttons->addStretch(1);
    buttons->addWidget(m_cancel);
    buttons->addWidget(m_retry);
    buttons->addStretch(1);
    column->addLayout(buttons);

    auto* divider = new QFrame(this);
    divider->setFrameShape(QFrame::HLine);
    divider->setFrameShadow(QFrame::Plain);
    divider->setStyleSheet(QStringLiteral("color: rgba(128, 128, 128, 80);"));
    auto* dividerRow = new QHBoxLayout;
    dividerRow->setContentsMargins(40, 0, 40, 0);
    dividerRow->addWidget(divider);
    column->addLayout(dividerRow);

    auto* help = new QVBoxLayout;
    help->setSpacing(4);
    help->addWidget(Style::label(QStringLiteral("Still having trouble?"), Style::font(11), Style::secondary(), this), 0,
                    Qt::AlignHCenter);
    m_email = Style::plainButton(QStringLiteral("Email ") + supportEmail, Style::font(11), Style::accent(), this);
    help->addWidget(m_email, 0, Qt::AlignHCenter);
    column->addLayout(help);
    column->addStretch(1);

    for (QPushButton* button : {m_cancel, m_retry, m_email}) {
        button->setAutoDefault(false);
        button->setFocusPolicy(Qt::NoFocus);
    }
    connect(m_cancel, &QPushButton::clicked, this, &ReportIssueFailurePage::cancelClicked);
    connect(m_retry, &QPushButton::clicked, this, &ReportIssueFailurePage::retryClicked);
    connect(m_email, &QPushButton::clicked, this, &ReportIssueFailurePage::emailClicked);
    setErrorMessage(std::nullopt);
}

void ReportIssueFailurePage::setErrorMessage(const std::optional<QString>& message) {
    m_error->setText(message.value_or(QString()));
    m_error->setVisible(message.has_value());
}
