#include "views/main/MainWindowLoadingCard.h"

#include <QLabel>
#include <QPainter>
#include <QVBoxLayout>

#include "views/main/ActivitySpinner.h"
#include "views/shared/Style.h"

MainWindowLoadingCard::MainWindowLoadingCard(QWidget* parent) : QWidget(parent) {
    auto* column = new QVBoxLayout(this);
    column->setContentsMargins(16, 16, 16, 16);
    column->setSpacing(8);
    column->addWidget(new ActivitySpinner(24, this), 0, Qt::AlignHCenter);
    column->addWidget(Style::label(QStringLiteral("Loading shortcuts…"), Style::font(13), Style::secondary(), this), 0,
                      Qt::AlignHCenter);
    adjustSize();
    Style::applyShadow(this, Style::withOpacity(QColor(Qt::black), 0.12), 8, 2, 10);
}

void MainWindowLoadingCard::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    // Stands in for the regular translucent material.
    QColor material = Style::controlBackground();
    material.setAlphaF(0.9f);
    Style::paintRoundedRect(painter, QRectF(rect()), 10, material);
}
