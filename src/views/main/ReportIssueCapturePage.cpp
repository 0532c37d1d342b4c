#include "views/main/ReportIssueCapturePage.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

#include "views/main/ReportIssueCaptureBox.h"
#include "views/shared/Style.h"

ReportIssueCapturePage::ReportIssueCapturePage(QWidget* parent) : QWidget(parent) {
    auto* column = new QVBoxLayout(this);
    column->setContentsMargins(24, 24, 24, 24);
    column->setSpacing(20);

    auto* intro = new QVBoxLayout;
    intro->setSpacing(6);
    intro->addWidget(Style::label(QStringLiteral("Reproduce the Shortcut"), Style::font(14, QFont::DemiBold),
                                  Style::primary(), this));
    intro->addWidget(Style::label(QStringLiteral("Press the key sequence that isn't working. Keys are captured below."),
                                  Style::font(12), Style::secondary(), this, true));
    column->addLayout(intro);

    auto* capture = new QVBoxLayout;
    capture->setSpacing(12);
    m_box = new ReportIssueCaptureBox(this);
    capture->addWidget(m_box);
    m_reset = Style::plainButton(QStringLiteral("Reset"), Style::font(11), Style::secondary(), this);
    capture->addWidget(m_reset, 0, Qt::AlignHCenter);
    column->addLayout(capture);

    column->addWidget(
        Style::label(QStringLiteral("No shortcut to show? That's fine — the diagnostic report still helps."),
                     Style::font(11), Style::secondary(), this, true));
    column->addStretch(1);

    auto* buttons = new QHBoxLayout;
    m_back = new QPushButton(QStringLiteral("← Back"), this);
    m_generate = Style::prominentButton(QStringLiteral("Generate Report"), Style::accent(), false, this);
    buttons->addWidget(m_back);
    buttons->addStretch(1);
    buttons->addWidget(m_generate);
    column->addLayout(buttons);

    // Buttons never take the focus: the keys typed here belong to the capture box.
    for (QPushButton* button : {m_reset, m_back, m_generate}) {
        button->setAutoDefault(false);
        button->setFocusPolicy(Qt::NoFocus);
    }
    connect(m_reset, &QPushButton::clicked, this, &ReportIssueCapturePage::resetClicked);
    connect(m_back, &QPushButton::clicked, this, &ReportIssueCapturePage::backClicked);
    connect(m_generate, &QPushButton::clicked, this, &ReportIssueCapturePage::generateClicked);
}

void ReportIssueCapturePage::setKeys(const QStringList& keys) {
    m_box->setKeys(keys);
}
