#include "views/main/ShortcutListDetailView.h"

#include <QFrame>
#include <QLabel>
#include <QScrollArea>
#include <QStackedWidget>
#include <QVBoxLayout>

#include "services/ShortcutRepository.h"
#include "views/main/ShortcutSearchField.h"
#include "views/shared/ShortcutRow.h"
#include "views/shared/Style.h"
#include "views/shared/SymbolView.h"

namespace {

QFrame* separator(QWidget* parent) {
    auto* line = new QFrame(parent);
    line->setFrameShape(QFrame::HLine);
    line->setFrameShadow(QFrame::Plain);
    line->setFixedHeight(1);
    line->setStyleSheet(QStringLiteral("color: rgba(128, 128, 128, 60);"));
    return line;
}

}  // namespace

ShortcutListDetailView::ShortcutListDetailView(ShortcutRepository& repository, QWidget* parent)
    : QWidget(parent), m_repository(repository) {
    auto* column = new QVBoxLayout(this);
    column->setContentsMargins(0, 0, 0, 0);
    column->setSpacing(0);

    auto* header = new QVBoxLayout;
    header->setContentsMargins(16, 16, 16, 10);
    header->setSpacing(10);
    m_title = Style::label(QString(), Style::font(20, QFont::Bold), Style::primary(), this);
    m_search = new ShortcutSearchField(this);
    header->addWidget(m_title);
    header->addWidget(m_search);
    column->addLayout(header);
    column->addWidget(separator(this));

    m_content = new QStackedWidget(this);
    m_list = new QScrollArea(m_content);
    m_list->setFrameShape(QFrame::NoFrame);
    m_list->setWidgetResizable(true);
    m_list->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    m_listBody = new QWidget;
    m_listLayout = new QVBoxLayout(m_listBody);
    m_listLayout->setContentsMargins(16, 0, 16, 0);
    m_listLayout->setSpacing(0);
    m_list->setWidget(m_listBody);
    m_content->addWidget(m_list);

    m_empty = new QWidget(m_content);
    auto* empty = new QVBoxLayout(m_empty);
    empty->setSpacing(8);
    empty->addStretch(1);
    empty->addWidget(new SymbolView(QStringLiteral("magnifyingglass"), 28, Style::secondary(), m_empty), 0,
                     Qt::AlignHCenter);
    m_emptyText = Style::label(QString(), Style::font(13), Style::secondary(), m_empty, true);
    m_emptyText->setAlignment(Qt::AlignHCenter);
    empty->addWidget(m_emptyText);
    empty->addStretch(1);
    m_content->addWidget(m_empty);
    column->addWidget(m_content, 1);

    connect(m_search, &ShortcutSearchField::textEdited, this, &ShortcutListDetailView::searchTextEdited);
    connect(&m_repository, &ShortcutRepository::shortcutsChanged, this, &ShortcutListDetailView::render);
    connect(&m_repository, &ShortcutRepository::isLoadingChanged, this, &ShortcutListDetailView::render);
    render();
}

void ShortcutListDetailView::configure(const QString& title, const QList<ShortcutCategory>& categories) {
    m_titleText = title;
    m_categories = categories;
    render();
}

void ShortcutListDetailView::setSearchText(const QString& searchText) {
    m_searchText = searchText;
    render();
}

bool ShortcutListDetailView::showsEmptyState() const {
    return m_content->currentWidget() == m_empty;
}

QList<Shortcut> ShortcutListDetailView::filtered(const QList<Shortcut>& shortcuts,
                                                 const QList<ShortcutCategory>& categories, const QString& searchText) {
    const QString query = searchText.toLower();
    QList<Shortcut> result;
    for (const Shortcut& s : shortcuts) {
        if (!categories.isEmpty() && !categories.contains(s.category)) {
            continue;
        }
        if (!searchText.isEmpty() && !s.name.toLower().contains(query) && !s.description.toLower().contains(query) &&
            !s.windowsKeys.join(QString()).toLower().contains(query) &&
            !s.macKeys.join(QString()).toLower().contains(query)) {
            continue;
        }
        result.append(s);
    }
    return result;
}

void ShortcutListDetailView::render() {
    m_title->setText(m_titleText);
    m_search->setText(m_searchText);

    const QList<Shortcut> entries = filtered(m_repository.shortcuts(), m_categories, m_searchText);
    m_rows.clear();
    while (QLayoutItem* item = m_listLayout->takeAt(0)) {
        delete item->widget();
        delete item;
    }
    if (entries.isEmpty() && !m_repository.isLoading()) {
        m_emptyText->setText(m_searchText.isEmpty()
                                 ? QStringLiteral("No shortcuts available.")
                                 : QStringLiteral("No results for \"") + m_searchText + QStringLiteral("\""));
        m_content->setCurrentWidget(m_empty);
        return;
    }
    // Separators above and below every row, as the plain list draws them.
    for (const Shortcut& shortcut : entries) {
        m_listLayout->addWidget(separator(m_listBody));
        auto* row = new ShortcutRow(shortcut, m_listBody);
        m_rows.append(row);
        m_listLayout->addWidget(row);
    }
    if (!entries.isEmpty()) {
        m_listLayout->addWidget(separator(m_listBody));
    }
    m_listLayout->addStretch(1);
    m_content->setCurrentWidget(m_list);
}
