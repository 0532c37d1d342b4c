#include "views/main/MainWindowUpdateOverlay.h"

#include <QLabel>
#include <QMouseEvent>
#include <QPainter>
#include <QPushButton>
#include <QVBoxLayout>

#include "views/shared/Style.h"
#include "views/shared/SymbolView.h"

namespace {

// The centred card on the translucent material.
class UpdateCard : public QWidget {
public:
    using QWidget::QWidget;

protected:
    void paintEvent(QPaintEvent*) override {
        QPainter painter(this);
        QColor material = Style::windowBackground();
        material.setAlphaF(0.95f);
        Style::paintRoundedRect(painter, QRectF(rect()), 16, material);
    }
};

}  // namespace

MainWindowUpdateOverlay::MainWindowUpdateOverlay(QWidget* parent) : QWidget(parent) {
    setAttribute(Qt::WA_NoMousePropagation);
    auto* outer = new QVBoxLayout(this);
    outer->setAlignment(Qt::AlignCenter);

    m_card = new UpdateCard(this);
    auto* column = new QVBoxLayout(m_card);
    column->setContentsMargins(40, 40, 40, 40);
    column->setSpacing(20);
    column->addWidget(new SymbolView(QStringLiteral("arrow.down.circle.fill"), 64, Style::accent(), m_card), 0,
                      Qt::AlignHCenter);
    column->addWidget(
        Style::label(QStringLiteral("Update Required"), Style::font(22, QFont::Bold), Style::primary(), m_card), 0,
        Qt::AlignHCenter);
    auto* message =
        Style::label(QStringLiteral("A new version of Keyloom is available.\nShortcuts are paused until you update."),
                     Style::font(13), Style::secondary(), m_card);
    message->setAlignment(Qt::AlignHCenter);
    column->addWidget(message, 0, Qt::AlignHCenter);
    m_install = Style::prominentButton(QStringLiteral("Install Update Now"), Style::accent(), false, m_card);
    m_install->setMinimumHeight(32);
    connect(m_install, &QPushButton::clicked, this, &MainWindowUpdateOverlay::installClicked);
    column->addWidget(m_install, 0, Qt::AlignHCenter);
    Style::applyShadow(m_card, Style::withOpacity(QColor(Qt::black), 0.25), 20, 8, 16);
    outer->addWidget(m_card, 0, Qt::AlignCenter);
}

void MainWindowUpdateOverlay::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.fillRect(rect(), Style::withOpacity(QColor(Qt::black), 0.65));
}

void MainWindowUpdateOverlay::mousePressEvent(QMouseEvent* event) {
    event->accept();
}
void MainWindowUpdateOverlay::mouseReleaseEvent(QMouseEvent* event) {
    event->accept();
}
void MainWindowUpdateOverlay::mouseDoubleClickEvent(QMouseEvent* event) {
    event->accept();
}
void MainWindowUpdateOverlay::wheelEvent(QWheelEvent* event) {
    event->accept();
}
