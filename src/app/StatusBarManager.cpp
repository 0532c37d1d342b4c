#include "app/StatusBarManager.h"

#include <QCoreApplication>
#include <QCursor>
#include <QGuiApplication>
#include <QMenu>
#include <QPainter>
#include <QPainterPath>
#include <QPalette>
#include <QPixmap>

#include "app/WindowManager.h"
#include "models/AppSettings.h"
#include "platform/Console.h"
#include "platform/UserDefaults.h"
#include "views/shared/SymbolIcons.h"

using namespace Qt::StringLiterals;

const QString StatusBarManager::trayUnavailableMessage =
    u"[StatusBar] No system tray on this desktop — Keyloom keeps running; launch it again to show its window"_s;

namespace {

const QString kRunningSymbol = u"command.square.fill"_s;
const QString kPausedSymbol = u"command.square"_s;

}  // namespace

StatusBarManager::StatusBarManager(AppSettings& settings, Console& console, std::function<void()> terminate,
                                   QObject* parent)
    : QObject(parent), m_settings(settings), m_console(console), m_terminate(std::move(terminate)) {
    if (!m_terminate) {
        m_terminate = [] { QCoreApplication::quit(); };
    }
}

StatusBarManager::~StatusBarManager() {
    delete m_menu.data();
}

void StatusBarManager::setupStatusItem() {
    if (m_statusItem) {
        return;
    }
    m_statusItem = new QSystemTrayIcon(this);
    m_statusItem->setToolTip(u"Keyloom"_s);
    updateIcon();
    // No context menu is attached, so a right click (Context) reaches handleClick and does nothing.
    connect(m_statusItem, &QSystemTrayIcon::activated, this, &StatusBarManager::handleClick);
    observePauseState();

    // Offscreen and under a bare X server there is no tray, and show() would fail silently.
    m_trayAvailable = QSystemTrayIcon::isSystemTrayAvailable();
    if (m_trayAvailable) {
        m_statusItem->show();
    } else {
        m_console.print(trayUnavailableMessage);
    }
}

void StatusBarManager::observePauseState() {
    // The connection's context is this object: no call once it is gone.
    m_cancellable = connect(&m_settings.defaults(), &UserDefaults::didChange, this, &StatusBarManager::updateIcon);
}

void StatusBarManager::updateIcon() {
    const bool paused = m_settings.isPaused();
    m_symbolName = paused ? kPausedSymbol : kRunningSymbol;
    if (!m_statusItem) {
        return;
    }
    const QColor color = QGuiApplication::palette().color(QPalette::WindowText);
    const bool disabled = m_settings.isPaused();
    m_statusItem->setIcon(makeIcon(!paused, disabled, color));
    m_appearsDisabled = disabled;
}

void StatusBarManager::handleClick(QSystemTrayIcon::ActivationReason reason) {
    if (reason == QSystemTrayIcon::Trigger) {
        showContextMenu();
    }
}

void StatusBarManager::showContextMenu() {
    if (m_menu) {
        m_menu->close();
        m_menu->deleteLater();
    }
    auto* menu = new QMenu;
    const auto add = [menu](const QString& title, const QKeySequence& key, auto slot) {
        QAction* action = menu->addAction(title);
        action->setShortcut(key);
        action->setShortcutVisibleInContextMenu(true);
        QObject::connect(action, &QAction::triggered, menu, slot);
        return action;
    };
    add(u"Open Keyloom"_s, QKeySequence(), [this] { openMain(); });
    add(u"Settings"_s, QKeySequence(Qt::CTRL | Qt::Key_Comma), [this] { openSettings(); });
    add(m_settings.isPaused() ? u"Resume Shortcuts"_s : u"Pause Shortcuts"_s, QKeySequence(Qt::CTRL | Qt::Key_P),
        [this] { togglePause(); });
    menu->addSeparator();
    add(u"Quit"_s, QKeySequence(Qt::CTRL | Qt::Key_Q), [this] { m_terminate(); });

    // The menu lives only while it is open, so the next click builds it again with current titles.
    connect(menu, &QMenu::aboutToHide, menu, &QObject::deleteLater);
    m_menu = menu;
    const QRect trayArea = m_statusItem ? m_statusItem->geometry() : QRect();
    menu->popup(trayArea.isValid() ? trayArea.bottomLeft() : QCursor::pos());
}

void StatusBarManager::openMain() {
    if (m_windowManager) {
        m_windowManager->showMain();
    }
}

void StatusBarManager::openSettings() {
    if (m_windowManager) {
        m_windowManager->showSettings();
    }
}

void StatusBarManager::togglePause() {
    const bool paused = m_settings.isPaused();
    m_settings.setIsPaused(!paused);
}

QIcon StatusBarManager::makeIcon(bool filled, bool disabled, const QColor& color) {
    constexpr int kSize = 64;
    QPixmap pixmap(kSize, kSize);
    pixmap.fill(Qt::transparent);
    QPainter painter(&pixmap);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setRenderHint(QPainter::TextAntialiasing);
    if (disabled) {
        painter.setOpacity(0.4);
    }

    const QRectF square(6, 6, kSize - 12, kSize - 12);
    QPainterPath outline;
    outline.addRoundedRect(square, 12, 12);
    const std::optional<QChar> glyph = SymbolIcons::fontAvailable() ? SymbolIcons::glyph(kRunningSymbol) : std::nullopt;
    const QFont font = glyph ? SymbolIcons::font(34) : QFont();
    const QString text = glyph ? QString(*glyph) : u"⌘"_s;

    if (filled) {
        painter.fillPath(outline, color);
        // The glyph is cut out of the filled square.
        painter.setCompositionMode(QPainter::CompositionMode_Clear);
    } else {
        painter.setPen(QPen(color, 4));
        painter.drawPath(outline);
    }
    QFont glyphFont = font;
    if (!glyph) {
        glyphFont.setPixelSize(34);
    }
    painter.setFont(glyphFont);
    painter.setPen(color);
    painter.drawText(square, Qt::AlignCenter, text);
    painter.end();
    return QIcon(pixmap);
}
