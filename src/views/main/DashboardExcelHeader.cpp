#include "views/main/DashboardExcelHeader.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QPainter>
#include <QPushButton>
#include <QVBoxLayout>

#include "views/shared/AppLogo.h"
#include "views/shared/Style.h"

namespace {

// The 40 × 40 tile behind the logo.
class LogoTile : public QWidget {
public:
    explicit LogoTile(QWidget* parent) : QWidget(parent) { setFixedSize(40, 40); }

protected:
    void paintEvent(QPaintEvent*) override {
        QPainter painter(this);
        Style::paintRoundedRect(painter, QRectF(rect()), 9, Style::withOpacity(Style::accent(), 0.12));
        const QPixmap logo = AppLogo::pixmap(24, 2.0);
        painter.setRenderHint(QPainter::SmoothPixmapTransform);
        painter.drawPixmap(QRectF(8, 8, 24, 24), logo, QRectF(logo.rect()));
    }
};

// A filled circle whose colour is the widget's foreground colour.
class StatusDot : public QWidget {
public:
    explicit StatusDot(QWidget* parent) : QWidget(parent) { setFixedSize(6, 6); }
    QColor color;

protected:
    void paintEvent(QPaintEvent*) override {
        QPainter painter(this);
        painter.setRenderHint(QPainter::Antialiasing);
        painter.setPen(Qt::NoPen);
        painter.setBrush(color);
        painter.drawEllipse(QRectF(rect()));
    }
};

}  // namespace

DashboardExcelHeader::DashboardExcelHeader(QWidget* parent) : Card(parent) {
    auto* row = new QHBoxLayout(this);
    row->setContentsMargins(14, 14, 14, 14);
    row->setSpacing(12);

    row->addWidget(new LogoTile(this), 0, Qt::AlignVCenter);

    auto* column = new QVBoxLayout;
    column->setSpacing(3);
    m_title = Style::label(QString(), Style::font(17, QFont::DemiBold), Style::primary(), this);
    m_title->setObjectName(QStringLiteral("excelTitle"));
    column->addWidget(m_title);

    auto* statusRow = new QHBoxLayout;
    statusRow->setSpacing(5);
    m_dot = new StatusDot(this);
    statusRow->addWidget(m_dot, 0, Qt::AlignVCenter);
    m_statusLine = Style::label(QString(), Style::font(11), Style::secondary(), this);
    m_statusLine->setObjectName(QStringLiteral("excelStatusLine"));
    statusRow->addWidget(m_statusLine, 0, Qt::AlignVCenter);
    statusRow->addStretch(1);
    column->addLayout(statusRow);
    row->addLayout(column, 1);

    m_openExcel = Style::prominentButton(QStringLiteral("Open Excel"), Style::accent(), true, this);
    m_openExcel->setObjectName(QStringLiteral("openExcelButton"));
    connect(m_openExcel, &QPushButton::clicked, this, &DashboardExcelHeader::openExcelRequested);
    row->addWidget(m_openExcel, 0, Qt::AlignVCenter);

    setExcelState(false, std::nullopt);
}

void DashboardExcelHeader::setExcelState(bool isExcelRunning, const std::optional<QString>& currentFileName) {
    if (currentFileName) {
        m_title->setText(*currentFileName);
    } else {
        m_title->setText(isExcelRunning ? QStringLiteral("Microsoft Excel") : QStringLiteral("Excel not open"));
    }
    m_statusLine->setText(isExcelRunning ? QStringLiteral("Active workbook detected")
                                         : QStringLiteral("Open Excel to activate shortcuts"));
    const QColor dot = isExcelRunning ? Style::green() : Style::withOpacity(Style::secondary(), 0.35);
    if (static_cast<StatusDot*>(m_dot)->color != dot) {
        static_cast<StatusDot*>(m_dot)->color = dot;
        m_dot->update();
    }
    m_openExcel->setVisible(!isExcelRunning);
}

QString DashboardExcelHeader::title() const {
    return m_title->text();
}
QString DashboardExcelHeader::statusLine() const {
    return m_statusLine->text();
}
QColor DashboardExcelHeader::dotColor() const {
    return static_cast<StatusDot*>(m_dot)->color;
}
