#include "platform/sim/SimSpreadsheet.h"

#include <QPointer>

using namespace Qt::StringLiterals;

namespace {

const QString kSeparator = u" › "_s;

struct MenuEntry {
    QString title;
    QStringList submenu;  // empty for a plain item
};
struct TopMenu {
    QString title;
    QList<MenuEntry> entries;
};

// The menus of the workbook window, with every path the keyboard engine presses (and its alternatives).
const QList<TopMenu>& menuLayout() {
    static const QList<TopMenu> layout = {
        {u"Apple"_s, {{u"About This Mac"_s, {}}}},
        {u"Excel"_s, {{u"About Microsoft Excel"_s, {}}, {u"Preferences..."_s, {}}}},
        {u"File"_s, {{u"New Workbook"_s, {}}, {u"Open..."_s, {}}, {u"Save"_s, {}}, {u"Print..."_s, {}}}},
        {u"Edit"_s, {{u"Undo"_s, {}}, {u"Cut"_s, {}}, {u"Copy"_s, {}}, {u"Paste"_s, {}}, {u"Paste Special..."_s, {}}}},
        {u"View"_s,
         {{u"Normal"_s, {}},
          {u"Page Layout"_s, {}},
          {u"Formula Bar"_s, {}},
          {u"Gridlines"_s, {}},
          {u"Freeze Panes"_s, {u"Freeze Panes"_s, u"Unfreeze Panes"_s, u"Freeze Top Row"_s}},
          {u"Split"_s, {}},
          {u"Zoom..."_s, {}}}},
        {u"Insert"_s,
         {{u"Cells..."_s, {}}, {u"Sheet Rows"_s, {}}, {u"Columns"_s, {}}, {u"Sheet"_s, {}}, {u"Function..."_s, {}}}},
        {u"Format"_s,
         {{u"Cells..."_s, {}},
          {u"Row"_s, {u"Height..."_s, u"Auto-fit"_s, u"Hide"_s, u"Unhide"_s}},
          {u"Column"_s, {u"Width..."_s, u"Auto-fit Selection"_s, u"Hide"_s, u"Unhide"_s}},
          {u"Merge Cells"_s, {u"Merge and Center Cells"_s, u"Merge and Center"_s, u"Unmerge Cells"_s}},
          {u"Conditional Formatting..."_s, {}}}},
        {u"Tools"_s,
         {{u"Spelling..."_s, {}},
          {u"Protection"_s, {u"Protect Sheet..."_s, u"Unprotect Sheet..."_s, u"Protect Workbook..."_s}}}},
        {u"Data"_s,
         {{u"Sort..."_s, {}},
          {u"Sort A to Z"_s, {}},
          {u"Sort Ascending"_s, {}},
          {u"Sort Z to A"_s, {}},
          {u"Sort Descending"_s, {}},
          {u"Auto-filter"_s, {}},
          {u"Clear Filters"_s, {}},
          {u"Remove Filter"_s, {}},
          {u"Remove Duplicates..."_s, {}},
          {u"Text to Columns..."_s, {}},
          {u"Validation..."_s, {}},
          {u"Data Validation..."_s, {}},
          {u"Refresh"_s, {}}}},
        {u"Window"_s, {{u"Minimize"_s, {}}, {u"Zoom"_s, {}}, {u"Arrange..."_s, {}}, {u"New Window"_s, {}}}},
        {u"Help"_s, {{u"Excel Help"_s, {}}}},
    };
    return layout;
}

std::shared_ptr<SimAXElement> group(const QString& description, const QList<std::shared_ptr<SimAXElement>>& children) {
    auto element = SimAXElement::make(u"AXGroup"_s, QString(), description);
    element->setChildren(children);
    return element;
}

// Takes out the first element under `parent` (at any depth) whose title or description is `text`.
std::shared_ptr<SimAXElement> removeByText(const std::shared_ptr<SimAXElement>& parent, const QString& text) {
    auto children = parent->children();
    for (qsizetype i = 0; i < children.size(); ++i) {
        if (children[i]->title() == text || children[i]->description() == text) {
            auto removed = children.takeAt(i);
            parent->setChildren(children);
            return removed;
        }
        if (auto removed = removeByText(children[i], text)) {
            return removed;
        }
    }
    return nullptr;
}

}  // namespace

SimSpreadsheet::SimSpreadsheet(const QString& workbookTitle)
    : QObject(nullptr), SimApplication(QString::fromLatin1(bundleId), QString::fromLatin1(appName)) {
    buildMenuBar();
    m_mainWindow = SimAXElement::make(u"AXWindow"_s, workbookTitle);
    m_mainWindow->setString(u"AXSubrole"_s, u"AXStandardWindow"_s);
    buildMainWindow();
    applicationElement()->setElement(u"AXMenuBar"_s, m_menuBar);
    updateWindows();
}

SimSpreadsheet::~SimSpreadsheet() = default;

void SimSpreadsheet::append(const QString& line) {
    // A long-running session keeps only the most recent lines; dropping in halves keeps it cheap.
    if (m_log.size() >= 2 * kLogLimit) {
        m_log.remove(0, kLogLimit);
    }
    m_log.append(line);
    ++m_logCount;
    emit changed();
}

void SimSpreadsheet::clearLog() {
    m_log.clear();
    m_logCount = 0;
    emit changed();
}

QString SimSpreadsheet::workbookTitle() const {
    return m_mainWindow->title();
}

void SimSpreadsheet::setWorkbookTitle(const QString& title) {
    m_mainWindow->setString(u"AXTitle"_s, title);
    emit changed();
}

QStringList SimSpreadsheet::openMenus() const {
    QStringList titles;
    for (const OpenMenu& menu : m_openMenus) {
        titles.append(menu.path.last());
    }
    return titles;
}

// --- Menus and ribbon ---

void SimSpreadsheet::buildMenuBar() {
    m_menuBar = SimAXElement::make(u"AXMenuBar"_s);
    for (const TopMenu& top : menuLayout()) {
        auto item = SimAXElement::make(u"AXMenuBarItem"_s, top.title);
        QList<std::shared_ptr<SimAXElement>> entries;
        for (const MenuEntry& entry : top.entries) {
            const QStringList path{top.title, entry.title};
            auto child = menuItem(path);
            if (!entry.submenu.isEmpty()) {
                QList<std::shared_ptr<SimAXElement>> leaves;
                for (const QString& leaf : entry.submenu) {
                    leaves.append(menuItem(path + QStringList{leaf}));
                }
                auto submenu = SimAXElement::make(u"AXMenu"_s);
                submenu->setChildren(leaves);
                m_submenus.insert(child.get(), submenu);
            }
            entries.append(child);
        }
        auto menu = SimAXElement::make(u"AXMenu"_s);
        menu->setChildren(entries);
        m_submenus.insert(item.get(), menu);
        QPointer<SimSpreadsheet> self(this);
        const QStringList path{top.title};
        item->setPressHandler([self, path](SimAXElement& e) {
            if (self) {
                self->itemPressed(e, path, ItemKind::Menu);
            }
        });
        m_menuBar->addChild(item);
    }
}

std::shared_ptr<SimAXElement> SimSpreadsheet::menuItem(const QStringList& path) {
    auto item = SimAXElement::make(u"AXMenuItem"_s, path.last());
    QPointer<SimSpreadsheet> self(this);
    item->setPressHandler([self, path](SimAXElement& e) {
        if (self) {
            self->itemPressed(e, path, ItemKind::Menu);
        }
    });
    return item;
}

void SimSpreadsheet::buildMainWindow() {
    QPointer<SimSpreadsheet> self(this);
    const auto button = [self](const QString& role, const QString& title, const QString& description = QString()) {
        auto element = SimAXElement::make(role, title, description);
        const QString text = title.isEmpty() ? description : title;
        element->setPressHandler([self, text](SimAXElement&) {
            if (self) {
                self->ribbonPressed(text);
            }
        });
        return element;
    };

    // The ribbon's menu button opens a menu of its own, like a menu-bar item.
    auto merge = SimAXElement::make(u"AXMenuButton"_s, u"Merge & Centre"_s);
    const QStringList mergePath{u"Merge & Centre"_s};
    QList<std::shared_ptr<SimAXElement>> mergeItems;
    for (const QString& title : {u"Merge and Centre"_s, u"Merge Across"_s, u"Merge Cells"_s, u"Unmerge Cells"_s}) {
        auto item = SimAXElement::make(u"AXMenuItem"_s, title);
        const QStringList path = mergePath + QStringList{title};
        item->setPressHandler([self, path](SimAXElement& e) {
            if (self) {
                self->itemPressed(e, path, ItemKind::RibbonMenu);
            }
        });
        mergeItems.append(item);
    }
    auto mergeMenu = SimAXElement::make(u"AXMenu"_s);
    mergeMenu->setChildren(mergeItems);
    m_submenus.insert(merge.get(), mergeMenu);
    m_ribbonMenus.append(mergeMenu);
    merge->setPressHandler([self, mergePath](SimAXElement& e) {
        if (self) {
            self->itemPressed(e, mergePath, ItemKind::RibbonMenu);
        }
    });

    const auto home = group(
        u"Home"_s,
        {
            group(u"Clipboard"_s, {button(u"AXButton"_s, u"Paste"_s), button(u"AXButton"_s, QString(), u"Cut"_s)}),
            group(u"Font"_s,
                  {button(u"AXCheckBox"_s, QString(), u"Bold"_s), button(u"AXCheckBox"_s, QString(), u"Italic"_s)}),
            group(u"Alignment"_s,
                  {button(u"AXButton"_s, QString(), u"Align Left"_s), button(u"AXButton"_s, QString(), u"Center"_s),
                   button(u"AXCheckBox"_s, u"Wrap Text"_s), merge}),
        });
    const auto data = group(
        u"Data"_s, {
                       group(u"Sort & Filter"_s,
                             {button(u"AXButton"_s, QString(), u"Sort A to Z"_s),
                              button(u"AXButton"_s, QString(), u"Sort Z to A"_s), button(u"AXButton"_s, u"Sort"_s),
                              button(u"AXCheckBox"_s, u"Filter"_s), button(u"AXButton"_s, u"Clear"_s)}),
                   });
    const auto view =
        group(u"View"_s,
              {
                  group(u"Show"_s, {button(u"AXCheckBox"_s, u"Gridlines"_s), button(u"AXCheckBox"_s, u"Headings"_s)}),
              });
    auto tabs = SimAXElement::make(u"AXTabGroup"_s, QString(), u"Ribbon tabs"_s);
    QList<std::shared_ptr<SimAXElement>> tabChildren;
    for (const QString& tab : {u"Home"_s, u"Insert"_s, u"Data"_s, u"Review"_s, u"View"_s}) {
        tabChildren.append(SimAXElement::make(u"AXRadioButton"_s, tab));
    }
    auto contents = SimAXElement::make(u"AXScrollArea"_s);
    contents->setChildren({home, data, view});
    tabChildren.append(contents);
    tabs->setChildren(tabChildren);

    auto grid = SimAXElement::make(u"AXTable"_s, QString(), u"Sheet1"_s);
    m_mainWindow->setChildren({group(u"Ribbon"_s, {tabs}), grid});
}

void SimSpreadsheet::itemPressed(SimAXElement& element, const QStringList& path, ItemKind kind) {
    const auto submenu = m_submenus.value(&element);
    if (submenu) {
        // Opening a menu closes what is open at its level and below.
        closeMenusFrom(kind == ItemKind::Menu ? path.size() - 1 : 0);
        element.setChildren({submenu});
        m_openMenus.append(OpenMenu{element.shared_from_this(), path});
        append(u"open "_s + path.join(kSeparator));
        return;
    }
    closeMenusFrom(0);
    append((kind == ItemKind::Menu ? u"press "_s : u"ribbon "_s) + path.join(kSeparator));
}

void SimSpreadsheet::ribbonPressed(const QString& text) {
    closeMenusFrom(0);
    append(u"ribbon "_s + text);
}

void SimSpreadsheet::closeMenusFrom(qsizetype depth) {
    const bool changedAny = m_openMenus.size() > depth;
    while (m_openMenus.size() > std::max<qsizetype>(depth, 0)) {
        m_openMenus.takeLast().owner->removeAllChildren();
    }
    if (changedAny) {
        emit changed();
    }
}

bool SimSpreadsheet::removeMenuItem(const QStringList& path) {
    if (path.isEmpty()) {
        return false;
    }
    std::shared_ptr<SimAXElement> container = m_menuBar;
    for (qsizetype level = 0; level < path.size(); ++level) {
        auto children = container->children();
        qsizetype index = -1;
        for (qsizetype i = 0; i < children.size(); ++i) {
            if (children[i]->title() == path[level]) {
                index = i;
                break;
            }
        }
        if (index < 0) {
            return false;
        }
        if (level == path.size() - 1) {
            forgetSubmenus(children.takeAt(index));
            container->setChildren(children);
            return true;
        }
        container = m_submenus.value(children[index].get());
        if (!container) {
            return false;
        }
    }
    return false;
}

bool SimSpreadsheet::removeRibbonControl(const QString& text) {
    auto removed = removeByText(m_mainWindow, text);
    // Items of the ribbon's own menus sit in their closed menus.
    for (qsizetype i = 0; !removed && i < m_ribbonMenus.size(); ++i) {
        removed = removeByText(m_ribbonMenus[i], text);
    }
    forgetSubmenus(removed);
    return removed != nullptr;
}

void SimSpreadsheet::forgetSubmenus(const std::shared_ptr<SimAXElement>& element) {
    // Entries are keyed by address: a later element could be born at a freed one's address.
    if (!element) {
        return;
    }
    if (const auto submenu = m_submenus.take(element.get())) {
        m_ribbonMenus.removeAll(submenu);
        for (const auto& child : submenu->children()) {
            forgetSubmenus(child);
        }
    }
    for (const auto& child : element->children()) {
        forgetSubmenus(child);
    }
}
