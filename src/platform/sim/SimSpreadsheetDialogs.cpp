// The simulated spreadsheet's keyboard handling and its two dialogs.

#include <QPointer>

#include "platform/sim/SimKeyNames.h"
#include "platform/sim/SimSpreadsheet.h"

using namespace Qt::StringLiterals;

namespace {

constexpr quint64 kModifierMask = EventFlags::Shift | EventFlags::Control | EventFlags::Option | EventFlags::Command;
constexpr quint16 kEscapeKey = 53;
constexpr quint16 kReturnKey = 36;
constexpr quint16 kOneKey = 18;
constexpr quint16 kVKey = 9;

// Paste Special options by the letter that picks them.
QString pasteOptionFor(quint16 keyCode) {
    switch (keyCode) {
        case 9:
            return u"Values"_s;
        case 17:
            return u"Formats"_s;
        case 3:
            return u"Formulas"_s;
        case 13:
            return u"Column widths"_s;
        case 14:
            return u"Transpose"_s;
        case 45:
            return u"Validation"_s;
        case 8:
            return u"Comments"_s;
        case 0:
            return u"All"_s;
        case 32:
            return u"All except borders"_s;
        default:
            return {};
    }
}

std::shared_ptr<SimAXElement> group(const QString& description, const QList<std::shared_ptr<SimAXElement>>& children) {
    auto element = SimAXElement::make(u"AXGroup"_s, QString(), description);
    element->setChildren(children);
    return element;
}

}  // namespace

void SimSpreadsheet::receive(const KeyboardEvent& event) {
    SimApplication::receive(event);
    if (event.type() != EventType::KeyDown) {
        return;
    }
    const quint16 code = event.keyCode();
    const quint64 modifiers = event.flags() & kModifierMask;
    append(u"key "_s + SimKeyNames::chord(code, modifiers));
    if (handleDialogKey(code, modifiers)) {
        return;
    }
    if (!m_openMenus.isEmpty() && code == kEscapeKey) {
        closeMenusFrom(m_openMenus.size() - 1);
        return;
    }
    if (code == kOneKey && modifiers == EventFlags::Command) {
        openFormatCells();
    } else if (code == kVKey && modifiers == (EventFlags::Control | EventFlags::Command)) {
        openPasteSpecial();
    }
}

bool SimSpreadsheet::handleDialogKey(quint16 keyCode, quint64 modifiers) {
    // A dialog takes every key while it is open.
    if (m_pasteSpecial) {
        if (keyCode == kEscapeKey) {
            closePasteSpecial(false);
        } else if (keyCode == kReturnKey) {
            closePasteSpecial(true);
        } else if (const QString option = pasteOptionFor(keyCode); modifiers == 0 && !option.isEmpty()) {
            m_pasteOption = option;
            append(u"paste option "_s + option);
        }
        return true;
    }
    if (m_formatCells) {
        if (keyCode == kEscapeKey || keyCode == kReturnKey) {
            closeFormatCells(keyCode == kReturnKey);
        }
        return true;
    }
    return false;
}

void SimSpreadsheet::openFormatCells() {
    closeMenusFrom(0);
    QPointer<SimSpreadsheet> self(this);
    m_formatCells = SimAXElement::make(u"AXWindow"_s, u"Format Cells"_s);
    m_formatCells->setString(u"AXSubrole"_s, u"AXDialog"_s);
    m_formatCellsContent = group(u"Number"_s, {SimAXElement::make(u"AXStaticText"_s, u"Category:"_s)});

    auto tabs = SimAXElement::make(u"AXTabGroup"_s);
    QList<std::shared_ptr<SimAXElement>> tabChildren;
    for (const QString& title : {u"Number"_s, u"Alignment"_s, u"Font"_s, u"Border"_s, u"Fill"_s, u"Protection"_s}) {
        auto tab = SimAXElement::make(u"AXRadioButton"_s, title);
        tab->setPressHandler([self, title](SimAXElement&) {
            if (!self || !self->m_formatCells) {
                return;
            }
            self->append(u"tab "_s + title);
            if (title == u"Border") {
                self->showBorderTab();
            } else {
                self->m_formatCellsContent->setChildren({SimAXElement::make(u"AXStaticText"_s, title)});
            }
        });
        tabChildren.append(tab);
    }
    tabChildren.append(m_formatCellsContent);
    tabs->setChildren(tabChildren);

    auto cancel = SimAXElement::make(u"AXButton"_s, u"Cancel"_s);
    cancel->setPressHandler([self](SimAXElement&) {
        if (self && self->m_formatCells) {
            self->closeFormatCells(false);
        }
    });
    auto ok = SimAXElement::make(u"AXButton"_s, u"OK"_s);
    ok->setPressHandler([self](SimAXElement&) {
        if (self && self->m_formatCells) {
            self->closeFormatCells(true);
        }
    });
    m_formatCells->setChildren({tabs, cancel, ok});
    append(u"open Format Cells"_s);
    updateWindows();
}

void SimSpreadsheet::showBorderTab() {
    QPointer<SimSpreadsheet> self(this);
    QList<std::shared_ptr<SimAXElement>> presets;
    // The preset buttons are image buttons: no title, their name in the description.
    for (const QString& name : {u"None"_s, u"Outline"_s, u"Inside"_s}) {
        auto preset = SimAXElement::make(u"AXButton"_s, QString(), name);
        preset->setPressHandler([self, name](SimAXElement&) {
            if (self && self->m_formatCells) {
                self->append(u"border "_s + name);
            }
        });
        presets.append(preset);
    }
    m_formatCellsContent->setString(u"AXDescription"_s, u"Border"_s);
    m_formatCellsContent->setChildren(
        {group(u"Presets"_s, presets), group(u"Line"_s, {SimAXElement::make(u"AXStaticText"_s, u"Style:"_s)})});
    emit changed();
}

void SimSpreadsheet::closeFormatCells(bool confirmed) {
    m_formatCells.reset();
    m_formatCellsContent.reset();
    append(confirmed ? u"OK Format Cells"_s : u"cancel Format Cells"_s);
    updateWindows();
}

void SimSpreadsheet::openPasteSpecial() {
    closeMenusFrom(0);
    QPointer<SimSpreadsheet> self(this);
    m_pasteOption.clear();
    m_pasteSpecial = SimAXElement::make(u"AXWindow"_s, u"Paste Special"_s);
    m_pasteSpecial->setString(u"AXSubrole"_s, u"AXDialog"_s);
    auto ok = SimAXElement::make(u"AXButton"_s, u"OK"_s);
    ok->setPressHandler([self](SimAXElement&) {
        if (self && self->m_pasteSpecial) {
            self->closePasteSpecial(true);
        }
    });
    m_pasteSpecial->setChildren({SimAXElement::make(u"AXRadioGroup"_s, QString(), u"Paste"_s), ok});
    append(u"open Paste Special"_s);
    updateWindows();
}

void SimSpreadsheet::closePasteSpecial(bool confirmed) {
    m_pasteSpecial.reset();
    append(confirmed ? u"OK Paste Special: "_s + (m_pasteOption.isEmpty() ? u"All"_s : m_pasteOption)
                     : u"cancel Paste Special"_s);
    m_pasteOption.clear();
    updateWindows();
}

void SimSpreadsheet::updateWindows() {
    const auto app = applicationElement();
    QList<std::shared_ptr<SimAXElement>> windows{m_mainWindow};
    const auto dialog = m_formatCells ? m_formatCells : m_pasteSpecial;
    if (dialog) {
        windows.append(dialog);
    }
    app->setElements(u"AXWindows"_s, windows);
    app->setElement(u"AXMainWindow"_s, m_mainWindow);
    app->setElement(u"AXFocusedWindow"_s, dialog ? dialog : m_mainWindow);
    emit changed();
}
