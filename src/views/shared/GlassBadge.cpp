#include "views/shared/GlassBadge.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QPainter>

#include "views/shared/Style.h"
#include "views/shared/SymbolView.h"

GlassBadge::GlassBadge(const QString& label, const QColor& color, const std::optional<QString>& icon, QWidget* parent)
    : QWidget(parent), m_color(color), m_icon(icon) {
    auto* layout = new QHBoxLayout(this);
    layout->setContentsMargins(8, 3, 8, 3);
    layout->setSpacing(4);
    if (icon) {
        m_iconView = new SymbolView(*icon, 9, color, this);
        layout->addWidget(m_iconView, 0, Qt::AlignVCenter);
    }
    m_label = Style::label(label, Style::font(10, QFont::Bold), color, this);
    layout->addWidget(m_label, 0, Qt::AlignVCenter);
    setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Fixed);
    setAttribute(Qt::WA_TransparentForMouseEvents);
}

QString GlassBadge::label() const {
    return m_label->text();
}

void GlassBadge::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    Style::paintCapsule(painter, QRectF(rect()), Style::withOpacity(m_color, 0.15), Style::withOpacity(m_color, 0.4),
                        0.5);
}
