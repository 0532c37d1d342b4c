#pragma once

#include <QHash>
#include <QObject>
#include <QStringList>
#include <memory>

#include "platform/sim/SimApplication.h"

// The simulated spreadsheet: bundle "com.microsoft.Excel", named "Microsoft Excel". Its
// accessibility tree answers like the real one where the keyboard engine looks:
// - a menu bar whose menus (and submenus) open when pressed, their items inside an "AXMenu" child;
//   Escape closes the innermost open menu;
// - a main window titled with the workbook, holding the ribbon with its buttons and the
//   "Merge & Centre" menu button;
// - the Format Cells dialog, opened as the focused window by ⌘1, with its tabs, the Border tab's
//   "None"/"Outline"/"Inside" presets, "Cancel" and "OK";
// - the Paste Special dialog, opened by ⌃⌘V, which takes an option letter and then Return.
// Everything it received and every control pressed is written to a readable log ("key ⌘E",
// "press Format › Column › Auto-fit Selection", "border Outline"), announced by `changed()`.
//
// No widgets: a window elsewhere shows it. Main thread only (accessibility reads are thread-safe).
class SimSpreadsheet : public QObject, public SimApplication {
    Q_OBJECT
public:
    static constexpr const char* bundleId = "com.microsoft.Excel";
    static constexpr const char* appName = "Microsoft Excel";

    explicit SimSpreadsheet(const QString& workbookTitle = QStringLiteral("Book1 - Excel"));
    ~SimSpreadsheet() override;

    void receive(const KeyboardEvent& event) override;

    // The most recent lines, oldest first (the last kLogLimit at least, never more than twice that).
    QStringList log() const { return m_log; }
    // Lines appended since creation or the last clearLog(), including those dropped from log().
    qint64 logCount() const { return m_logCount; }
    void clearLog();
    static constexpr qsizetype kLogLimit = 4096;

    QString workbookTitle() const;
    void setWorkbookTitle(const QString& title);

    std::shared_ptr<SimAXElement> menuBar() const { return m_menuBar; }
    std::shared_ptr<SimAXElement> mainWindow() const { return m_mainWindow; }
    // The open dialog, or null.
    std::shared_ptr<SimAXElement> formatCellsDialog() const { return m_formatCells; }
    std::shared_ptr<SimAXElement> pasteSpecialDialog() const { return m_pasteSpecial; }
    // Titles of the menus open now, outermost first ("Format", "Column").
    QStringList openMenus() const;

    // For tests of the engine's alternatives: take a menu item (by its full path) or a ribbon control
    // (by its title or description) out of the tree. False when there was none.
    bool removeMenuItem(const QStringList& path);
    bool removeRibbonControl(const QString& text);

signals:
    // The log, the open menus or the dialogs changed.
    void changed();

private:
    enum class ItemKind { Menu, RibbonMenu };
    struct OpenMenu {
        std::shared_ptr<SimAXElement> owner;
        QStringList path;
    };

    void append(const QString& line);
    void buildMenuBar();
    void buildMainWindow();
    std::shared_ptr<SimAXElement> menuItem(const QStringList& path);
    void itemPressed(SimAXElement& element, const QStringList& path, ItemKind kind);
    void ribbonPressed(const QString& text);
    void closeMenusFrom(qsizetype depth);
    void forgetSubmenus(const std::shared_ptr<SimAXElement>& element);

    void openFormatCells();
    void showBorderTab();
    void closeFormatCells(bool confirmed);
    void openPasteSpecial();
    void closePasteSpecial(bool confirmed);
    void updateWindows();
    bool handleDialogKey(quint16 keyCode, quint64 modifiers);

    std::shared_ptr<SimAXElement> m_menuBar;
    std::shared_ptr<SimAXElement> m_mainWindow;
    std::shared_ptr<SimAXElement> m_formatCells;
    std::shared_ptr<SimAXElement> m_formatCellsContent;
    std::shared_ptr<SimAXElement> m_pasteSpecial;
    QString m_pasteOption;
    // The submenu each menu item or menu button opens (its "AXMenu"), closed until pressed.
    QHash<const SimAXElement*, std::shared_ptr<SimAXElement>> m_submenus;
    QList<std::shared_ptr<SimAXElement>> m_ribbonMenus;
    QList<OpenMenu> m_openMenus;
    QStringList m_log;
    qint64 m_logCount = 0;
};
