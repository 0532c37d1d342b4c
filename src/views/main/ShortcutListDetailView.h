#pragma once

#include <QList>
#include <QWidget>

#include "models/Shortcut.h"

class QLabel;
class QScrollArea;
class QStackedWidget;
class QVBoxLayout;
class ShortcutRepository;
class ShortcutRow;
class ShortcutSearchField;

// One list page of the main window: a heading, the search field and the catalogue entries of
// some categories that match the search text, or an empty-state message. The search text belongs
// to the main window: edits are reported with searchTextEdited() and come back through
// setSearchText(). Redrawn whenever the repository announces a change. Main thread only.
class ShortcutListDetailView : public QWidget {
    Q_OBJECT
public:
    explicit ShortcutListDetailView(ShortcutRepository& repository, QWidget* parent = nullptr);

    // Which page this is: its heading and its categories (empty: every category).
    void configure(const QString& title, const QList<ShortcutCategory>& categories);
    void setSearchText(const QString& searchText);
    QString searchText() const { return m_searchText; }

    // The entries of `categories` (all when empty) that match `searchText`, in catalogue order.
    // An empty text matches everything; any other text, spaces included, is lower-cased and
    // looked for in the name, the description, and the Windows and Mac keys run together.
    static QList<Shortcut> filtered(const QList<Shortcut>& shortcuts, const QList<ShortcutCategory>& categories,
                                    const QString& searchText);

    QLabel* titleLabel() const { return m_title; }
    ShortcutSearchField* searchField() const { return m_search; }
    QList<ShortcutRow*> rows() const { return m_rows; }
    bool showsEmptyState() const;
    QLabel* emptyStateLabel() const { return m_emptyText; }

signals:
    void searchTextEdited(const QString& searchText);

private:
    void render();

    ShortcutRepository& m_repository;
    QString m_titleText;
    QList<ShortcutCategory> m_categories;
    QString m_searchText;

    QLabel* m_title = nullptr;
    ShortcutSearchField* m_search = nullptr;
    QStackedWidget* m_content = nullptr;
    QScrollArea* m_list = nullptr;
    QWidget* m_listBody = nullptr;
    QVBoxLayout* m_listLayout = nullptr;
    QWidget* m_empty = nullptr;
    QLabel* m_emptyText = nullptr;
    QList<ShortcutRow*> m_rows;
};
