#include "views/main/ReportIssueInfoPage.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

#include "views/main/ReportIssueCheckRow.h"
#include "views/shared/Style.h"

ReportIssueInfoPage::ReportIssueInfoPage(QWidget* parent) : QWidget(parent) {
    auto* column = new QVBoxLayout(this);
    column->setContentsMargins(24, 24, 24, 24);
    column->setSpacing(20);

    auto* emailColumn = new QVBoxLayout;
    emailColumn->setSpacing(4);
    emailColumn->addWidget(Style::label(QStringLiteral("Email (optional — for follow-up)"),
                                        Style::font(12, QFont::Medium), Style::secondary(), this));
    m_email = new QLineEdit(this);
    m_email->setPlaceholderText(QStringLiteral("you@example.com"));
    connect(m_email, &QLineEdit::textChanged, this, &ReportIssueInfoPage::emailEdited);
    emailColumn->addWidget(m_email);
    column->addLayout(emailColumn);

    auto* checksColumn = new QVBoxLayout;
    checksColumn->setSpacing(8);
    checksColumn->addWidget(
        Style::label(QStringLiteral("System Checks"), Style::font(12, QFont::DemiBold), Style::secondary(), this));
    m_excelRow = new ReportIssueCheckRow(
        QStringLiteral("Excel Connected"), QStringLiteral("Open Excel"), [this] { emit openExcelClicked(); }, this);
    m_axRow = new ReportIssueCheckRow(
        QStringLiteral("Accessibility Permission"), QStringLiteral("Open Settings"),
        [this] { emit openAccessibilityClicked(); }, this);
    m_imRow = new ReportIssueCheckRow(
        QStringLiteral("Input Monitoring"), QStringLiteral("Open Settings"),
        [this] { emit openInputMonitoringClicked(); }, this);
    checksColumn->addWidget(m_excelRow);
    checksColumn->addWidget(m_axRow);
    checksColumn->addWidget(m_imRow);
    column->addLayout(checksColumn);

    column->addStretch(1);

    auto* buttons = new QHBoxLayout;
    m_cancel = new QPushButton(QStringLiteral("Cancel"), this);
    m_next = Style::prominentButton(QStringLiteral("Next →"), Style::accent(), false, this);
    for (QPushButton* button : {m_cancel, m_next}) {
        button->setAutoDefault(false);
        button->setFocusPolicy(Qt::NoFocus);
    }
    connect(m_cancel, &QPushButton::clicked, this, &ReportIssueInfoPage::cancelClicked);
    connect(m_next, &QPushButton::clicked, this, &ReportIssueInfoPage::nextClicked);
    buttons->addWidget(m_cancel);
    buttons->addStretch(1);
    buttons->addWidget(m_next);
    column->addLayout(buttons);

    setChecks(false, QString(), false, false);
}

void ReportIssueInfoPage::setChecks(bool excelConnected, const QString& excelDetail, bool axAccess, bool imAccess) {
    m_excelRow->setState(excelDetail, excelConnected);
    m_axRow->setState(axAccess ? QStringLiteral("Granted") : QStringLiteral("Required to generate AX report"),
                      axAccess);
    m_imRow->setState(
        imAccess ? QStringLiteral("Granted") : QStringLiteral("Open Settings → press + → add this app → toggle on"),
        imAccess);
    m_next->setEnabled(axAccess && imAccess);
}
