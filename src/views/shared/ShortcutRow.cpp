#include "views/shared/ShortcutRow.h"

#include <QGraphicsOpacityEffect>
#include <QHBoxLayout>
#include <QLabel>
#include <QVBoxLayout>

#include "views/shared/KeySequence.h"
#include "views/shared/Style.h"
#include "views/shared/SymbolView.h"

ShortcutRow::ShortcutRow(const Shortcut& shortcut, QWidget* parent) : QWidget(parent), m_shortcut(shortcut) {
    auto* row = new QHBoxLayout(this);
    row->setContentsMargins(0, 6, 0, 6);
    row->setSpacing(12);

    m_icon = new SymbolView(ShortcutCategories::icon(shortcut.category), 14, Style::accent(), this);
    // A fixed 20-wide column keeps the texts of all rows aligned.
    m_icon->setFixedWidth(20);
    row->addWidget(m_icon, 0, Qt::AlignVCenter);

    auto* texts = new QVBoxLayout;
    texts->setSpacing(2);
    texts->setContentsMargins(0, 0, 0, 0);
    m_name = Style::label(shortcut.name, Style::font(13, QFont::Medium), Style::primary(), this);
    m_description = Style::label(shortcut.description, Style::font(11), Style::secondary(), this);
    texts->addWidget(m_name);
    texts->addWidget(m_description);
    row->addLayout(texts);
    row->setAlignment(texts, Qt::AlignVCenter);

    row->addStretch(1);

    m_windowsKeys = new KeySequence(shortcut.windowsKeys, this);
    auto* dim = new QGraphicsOpacityEffect(m_windowsKeys);
    dim->setOpacity(0.7);
    m_windowsKeys->setGraphicsEffect(dim);
    row->addWidget(m_windowsKeys, 0, Qt::AlignVCenter);

    m_arrow = new SymbolView(QStringLiteral("arrow.right"), 10, Style::secondary(), this);
    row->addWidget(m_arrow, 0, Qt::AlignVCenter);

    m_macKeys = new KeySequence(shortcut.macKeys, this);
    row->addWidget(m_macKeys, 0, Qt::AlignVCenter);
}
