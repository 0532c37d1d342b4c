// The runners that carry out Excel commands through its accessibility tree: menu paths, ribbon
// buttons, ribbon menu items and the Format Cells border presets. Each runs as timed steps on the
// main queue; a step holds the engine weakly and ends the chain quietly once the engine is gone, or
// once a key of its action was held back because Excel had left the front.

#include <QPointer>

#include "engine/ShortcutEngine.h"
#include "platform/Accessibility.h"
#include "platform/Console.h"
#include "platform/Scheduler.h"
#include "platform/Workspace.h"

using namespace Qt::StringLiterals;

namespace {

constexpr quint16 kEscapeKey = 53;
constexpr quint16 kReturnKey = 36;
constexpr quint16 kOneKey = 18;

constexpr double kMenuOpenDelay = 0.18;
constexpr double kSecondEscapeDelay = 0.1;
constexpr double kMenuFallbackDelay = 0.25;
constexpr double kRibbonSearchDelay = 0.05;
constexpr double kRibbonMenuOpenDelay = 0.2;
constexpr double kRibbonItemFallbackDelay = 0.1;
constexpr double kFormatCellsOpenDelay = 0.6;
constexpr double kBorderTabDelay = 0.25;
constexpr double kConfirmDelay = 0.1;

constexpr int kRibbonSearchDepth = 12;
constexpr int kDialogSearchDepth = 8;
constexpr int kDumpMaxDepth = 6;

const QString kPress = u"AXPress"_s;
const QString kMenuRole = u"AXMenu"_s;

bool isRibbonButtonRole(const QString& role) {
    return role == u"AXButton" || role == u"AXMenuButton" || role == u"AXCheckBox" || role == u"AXToggleButton" ||
           role == u"AXMenuItem";
}

bool isRibbonMenuButtonRole(const QString& role) {
    return role == u"AXButton" || role == u"AXMenuButton" || role == u"AXCheckBox" || role == u"AXToggleButton";
}

QString quotedList(const QStringList& titles) {
    QStringList quoted;
    quoted.reserve(titles.size());
    for (const QString& title : titles) {
        quoted.append(u'"' + title + u'"');
    }
    return u'[' + quoted.join(u", "_s) + u']';
}

}  // namespace

// --- Menus ---

void ShortcutEngine::axMenu(const QStringList& path, Action fallback) {
    if (path.isEmpty()) {
        return;
    }
    const AXElement menuBar = axGetMenuBar();
    if (!menuBar) {
        logOnly(u"AX: no Excel menu bar — accessibility permission required"_s);
        if (fallback) {
            fallback();
        }
        return;
    }
    AXElement match;
    for (const AXElement& child : axChildren(menuBar)) {
        if (axTitle(child) == path.first()) {
            match = child;
            break;
        }
    }
    if (!match) {
        logOnly(u"AX: top-level menu '"_s + path.first() + u"' not found"_s);
        if (fallback) {
            fallback();
        }
        return;
    }
    press(match);
    if (path.size() > 1) {
        axNavigateStep(match, path.mid(1), std::move(fallback));
    }
}

void ShortcutEngine::axNavigateStep(const AXElement& element, const QStringList& path, Action fallback) {
    postStep(kMenuOpenDelay, [self = QPointer<ShortcutEngine>(this), element, path, fallback] {
        if (!self) {
            return;
        }
        const QString& title = path.first();
        for (const AXElement& entry : self->menuEntries(element)) {
            if (self->axTitle(entry) == title) {
                self->press(entry);
                if (path.size() > 1) {
                    self->axNavigateStep(entry, path.mid(1), fallback);
                }
                return;
            }
        }
        // Close whatever the earlier presses opened before trying the alternative.
        if (!self->injectKey(kEscapeKey, 0)) {
            return;
        }
        self->postStep(kSecondEscapeDelay, [self] {
            if (self) {
                self->injectKey(kEscapeKey, 0);
            }
        });
        self->sendMessage(u"[ShortcutEngine] AX menu: '"_s + title + u"' not found"_s);
        if (fallback) {
            self->postStep(kMenuFallbackDelay, fallback);
        }
    });
}

QList<AXElement> ShortcutEngine::menuEntries(const AXElement& element) const {
    // Menu items sit inside an "AXMenu" child of the item that opened them; unwrap one level.
    QList<AXElement> entries;
    for (const AXElement& child : axChildren(element)) {
        if (axRole(child) == kMenuRole) {
            entries.append(axChildren(child));
        } else {
            entries.append(child);
        }
    }
    return entries;
}

// --- Element reads ---

AXElement ShortcutEngine::excelApplicationAttribute(const QString& attribute) const {
    // Only while Excel is frontmost at the moment of the call.
    const auto front = m_deps.workspace.frontmostApplication();
    if (!front || !front->bundleIdentifier || *front->bundleIdentifier != QLatin1String(kExcelBundleIdentifier)) {
        return nullptr;
    }
    const AXElement app = m_deps.accessibility.createApplication(front->processIdentifier);
    const AXResult result = m_deps.accessibility.copyAttributeValue(app, attribute);
    if (!result.ok() || result.value.kind != AXValue::Kind::Element) {
        return nullptr;
    }
    return result.value.element;
}

AXElement ShortcutEngine::axGetMenuBar() const {
    return excelApplicationAttribute(u"AXMenuBar"_s);
}

AXElement ShortcutEngine::axMainExcelWindow() const {
    return excelApplicationAttribute(u"AXMainWindow"_s);
}

AXElement ShortcutEngine::axFocusedExcelWindow() const {
    return excelApplicationAttribute(u"AXFocusedWindow"_s);
}

QList<AXElement> ShortcutEngine::axChildren(const AXElement& element) const {
    if (!element) {
        return {};
    }
    const AXResult result = m_deps.accessibility.copyAttributeValue(element, u"AXChildren"_s);
    if (!result.ok() || result.value.kind != AXValue::Kind::ElementList) {
        return {};
    }
    QList<AXElement> children;
    children.reserve(result.value.elements.size());
    for (const AXElement& child : result.value.elements) {
        if (child) {
            children.append(child);
        }
    }
    return children;
}

std::optional<QString> ShortcutEngine::axString(const AXElement& element, const QString& attribute) const {
    if (!element) {
        return std::nullopt;
    }
    const AXResult result = m_deps.accessibility.copyAttributeValue(element, attribute);
    if (!result.ok() || result.value.kind != AXValue::Kind::String) {
        return std::nullopt;
    }
    return result.value.string;
}

std::optional<QString> ShortcutEngine::axTitle(const AXElement& element) const {
    return axString(element, u"AXTitle"_s);
}

std::optional<QString> ShortcutEngine::axRole(const AXElement& element) const {
    return axString(element, u"AXRole"_s);
}

std::optional<QString> ShortcutEngine::axDescription(const AXElement& element) const {
    return axString(element, u"AXDescription"_s);
}

std::optional<QString> ShortcutEngine::axText(const AXElement& element) const {
    const auto title = axTitle(element);
    if (title && !title->isEmpty()) {
        return title;
    }
    return axDescription(element);
}

AXElement ShortcutEngine::findElement(const AXElement& start, int maxDepth, const ElementPredicate& matching) const {
    if (!start) {
        return nullptr;
    }
    if (matching(start)) {
        return start;
    }
    if (maxDepth <= 0) {
        return nullptr;
    }
    for (const AXElement& child : axChildren(start)) {
        if (AXElement found = findElement(child, maxDepth - 1, matching)) {
            return found;
        }
    }
    return nullptr;
}

void ShortcutEngine::axDumpTree(const AXElement& element, int depth) {
    if (depth > kDumpMaxDepth) {
        return;
    }
    m_deps.console.print(u"[AXDump]"_s + QString(depth * 2, u' ') + u' ' + axRole(element).value_or(u"?"_s) +
                         u"  title='"_s + axTitle(element).value_or(QString()) + u"'  desc='"_s +
                         axDescription(element).value_or(QString()) + u'\'');
    for (const AXElement& child : axChildren(element)) {
        axDumpTree(child, depth + 1);
    }
}

void ShortcutEngine::press(const AXElement& element) {
    // The press result is ignored: a press Excel ignores shows up as the next step not finding its target.
    m_deps.accessibility.performAction(element, kPress);
}

// --- Format Cells borders ---

void ShortcutEngine::applyFormatCellsBorder(const QStringList& presets) {
    if (!injectKey(kOneKey, EventFlags::Command)) {
        return;
    }
    postStep(kFormatCellsOpenDelay, [self = QPointer<ShortcutEngine>(this), presets] {
        if (!self) {
            return;
        }
        const AXElement window = self->axFocusedExcelWindow();
        if (!window) {
            self->sendMessage(u"[ShortcutEngine] Format Cells dialog not found (no focused Excel window)"_s);
            return;
        }
        self->m_deps.console.print(u"[ShortcutEngine] === Format Cells AX tree ==="_s);
        self->axDumpTree(window, 0);
        self->m_deps.console.print(u"[ShortcutEngine] === end AX tree ==="_s);

        const auto textIs = [engine = self.data()](const QString& text) {
            return [engine, text](const AXElement& e) { return engine->axText(e) == text; };
        };
        const AXElement tab = self->findElement(window, kDialogSearchDepth, textIs(u"Border"_s));
        if (!tab) {
            if (!self->injectKey(kEscapeKey, 0)) {
                return;
            }
            self->sendMessage(u"[ShortcutEngine] Border tab not found in Format Cells dialog"_s);
            return;
        }
        self->press(tab);
        self->postStep(kBorderTabDelay, [self, window, presets, textIs] {
            if (!self) {
                return;
            }
            for (const QString& preset : presets) {
                if (const AXElement button = self->findElement(window, kDialogSearchDepth, textIs(preset))) {
                    self->press(button);
                } else {
                    self->sendMessage(u"[ShortcutEngine] Border preset '"_s + preset +
                                      u"' not found — check AXDump in console"_s);
                }
            }
            self->postStep(kConfirmDelay, [self, window] {
                if (!self) {
                    return;
                }
                const AXElement ok = self->findElement(window, kDialogSearchDepth,
                                                       [&](const AXElement& e) { return self->axTitle(e) == u"OK"_s; });
                if (ok) {
                    self->press(ok);
                } else {
                    self->injectKey(kReturnKey, 0);
                }
            });
        });
    });
}

// --- Ribbon ---

void ShortcutEngine::axRibbonMenuButton(const QString& title, const QStringList& itemTitles, Action fallback) {
    const AXElement window = axMainExcelWindow();
    if (!window) {
        if (fallback) {
            fallback();
        }
        return;
    }
    postStep(kRibbonSearchDelay, [self = QPointer<ShortcutEngine>(this), window, title, itemTitles, fallback] {
        if (!self) {
            return;
        }
        const AXElement button = self->findElement(window, kRibbonSearchDepth, [&](const AXElement& e) {
            const auto role = self->axRole(e);
            return role && isRibbonMenuButtonRole(*role) && self->axText(e) == title;
        });
        if (!button) {
            self->sendMessage(u"[ShortcutEngine] Ribbon menu button '"_s + title + u"' not found"_s);
            if (fallback) {
                fallback();
            }
            return;
        }
        self->press(button);
        self->postStep(kRibbonMenuOpenDelay, [self, button, title, itemTitles, fallback] {
            if (!self) {
                return;
            }
            const QList<AXElement> entries = self->menuEntries(button);
            // An earlier title wins over a later one wherever their entries sit in the menu.
            for (const QString& itemTitle : itemTitles) {
                for (const AXElement& entry : entries) {
                    if (self->axText(entry) == itemTitle) {
                        self->press(entry);
                        return;
                    }
                }
            }
            if (!self->injectKey(kEscapeKey, 0)) {
                return;
            }
            self->sendMessage(u"[ShortcutEngine] Ribbon menu item not found in '"_s + title + u"', tried: "_s +
                              quotedList(itemTitles));
            if (fallback) {
                self->postStep(kRibbonItemFallbackDelay, fallback);
            }
        });
    });
}

void ShortcutEngine::axRibbonButton(const QString& title, Action fallback) {
    const AXElement window = axMainExcelWindow();
    if (!window) {
        if (fallback) {
            fallback();
        }
        return;
    }
    postStep(kRibbonSearchDelay, [self = QPointer<ShortcutEngine>(this), window, title, fallback] {
        if (!self) {
            return;
        }
        const AXElement button = self->findElement(window, kRibbonSearchDepth, [&](const AXElement& e) {
            const auto role = self->axRole(e);
            return role && isRibbonButtonRole(*role) && self->axText(e) == title;
        });
        if (button) {
            self->press(button);
            return;
        }
        self->sendMessage(u"[ShortcutEngine] Ribbon button '"_s + title + u"' not found — trying fallback"_s);
        if (fallback) {
            fallback();
        }
    });
}
