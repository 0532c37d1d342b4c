#include "views/main/ReportIssueUploadingPage.h"

#include <QLabel>
#include <QVBoxLayout>

#include "views/main/ActivitySpinner.h"
#include "views/shared/Style.h"

ReportIssueUploadingPage::ReportIssueUploadingPage(QWidget* parent) : QWidget(parent) {
    auto* column = new QVBoxLayout(this);
    column->setSpacing(16);
    column->addStretch(1);
    // The regular indicator scaled by 1.2.
    m_spinner = new ActivitySpinner(38, this);
    column->addWidget(m_spinner, 0, Qt::AlignHCenter);
    m_progress = Style::label(QString(), Style::font(13), Style::secondary(), this, true);
    m_progress->setAlignment(Qt::AlignHCenter);
    column->addWidget(m_progress);
    column->addStretch(1);
    setProgress(QString());
}

void ReportIssueUploadingPage::setProgress(const QString& progress) {
    m_progress->setText(progress.isEmpty() ? QStringLiteral("Generating report…") : progress);
}

QString ReportIssueUploadingPage::progressText() const {
    return m_progress->text();
}
