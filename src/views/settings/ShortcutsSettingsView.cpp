#include "views/settings/ShortcutsSettingsView.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QListWidget>
#include <QVBoxLayout>

#include "models/ShortcutData.h"
#include "views/shared/KeySequence.h"
#include "views/shared/Style.h"

ShortcutsSettingsView::ShortcutsSettingsView(QWidget* parent) : QWidget(parent), m_shortcuts(ShortcutData::all()) {
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    m_list = new QListWidget(this);
    m_list->setSelectionMode(QAbstractItemView::NoSelection);
    m_list->setFocusPolicy(Qt::NoFocus);
    m_list->setFrameShape(QFrame::NoFrame);
    m_list->setVerticalScrollMode(QAbstractItemView::ScrollPerPixel);
    layout->addWidget(m_list);

    for (const Shortcut& shortcut : m_shortcuts) {
        auto* row = new QWidget;
        auto* rowLayout = new QHBoxLayout(row);
        rowLayout->setContentsMargins(8, 2, 8, 2);
        QLabel* name = Style::label(shortcut.name, Style::font(12), Style::primary(), row);
        name->setObjectName(QStringLiteral("shortcutName"));
        rowLayout->addWidget(name, 0, Qt::AlignVCenter);
        rowLayout->addStretch(1);
        rowLayout->addWidget(new KeySequence(shortcut.macKeys, row), 0, Qt::AlignVCenter);

        auto* item = new QListWidgetItem(m_list);
        item->setFlags(Qt::ItemIsEnabled);
        item->setSizeHint(row->sizeHint());
        m_list->setItemWidget(item, row);
    }
}

int ShortcutsSettingsView::rowCount() const {
    return m_list->count();
}

QWidget* ShortcutsSettingsView::rowWidget(int row) const {
    return m_list->itemWidget(m_list->item(row));
}
