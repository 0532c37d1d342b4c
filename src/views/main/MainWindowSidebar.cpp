#include "views/main/MainWindowSidebar.h"

#include <QButtonGroup>
#include <QFrame>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

#include "views/shared/AppLogo.h"
#include "views/shared/Style.h"
#include "views/shared/SymbolIcons.h"

namespace {

QString css(const QColor& c) {
    return QStringLiteral("rgba(%1, %2, %3, %4)").arg(c.red()).arg(c.green()).arg(c.blue()).arg(c.alpha());
}

QPushButton* makeRow(const QString& title, const QString& symbol, bool selectable, QWidget* parent) {
    // Buttons read "&" as a mnemonic marker; titles are shown verbatim.
    auto* button = new QPushButton(QString(title).replace(QLatin1Char('&'), QStringLiteral("&&")), parent);
    button->setCheckable(selectable);
    button->setFlat(true);
    button->setIcon(SymbolIcons::icon(symbol, Style::accent(), 14));
    button->setIconSize(QSize(16, 16));
    button->setFont(Style::font(13));
    button->setCursor(Qt::PointingHandCursor);
    button->setFocusPolicy(Qt::NoFocus);
    button->setStyleSheet(
        QStringLiteral("QPushButton { text-align: left; padding: 5px 8px; border: none; border-radius: 6px;"
                       " background: transparent; color: %1; }"
                       "QPushButton:checked { background-color: %2; }"
                       "QPushButton:hover:!checked { background-color: %3; }")
            .arg(css(Style::primary()), css(Style::withOpacity(Style::accent(), 0.22)),
                 css(Style::withOpacity(Style::primary(), 0.05))));
    return button;
}

}  // namespace

const QList<MainWindowSidebar::Row>& MainWindowSidebar::rows() {
    // The sidebar's own symbols: only "Paste Special" reuses its category's image.
    static const QList<Row> table = {
        {QStringLiteral("Dashboard"), QStringLiteral("house.fill"), NavItem::dashboard()},
        {QStringLiteral("All Shortcuts"), QStringLiteral("list.bullet"), NavItem::allShortcuts()},
        {QStringLiteral("Paste Special"), QStringLiteral("doc.on.clipboard"),
         NavItem::ofCategory(ShortcutCategory::pasteSpecial)},
        {QStringLiteral("Formatting"), QStringLiteral("paintbrush"), NavItem::ofCategory(ShortcutCategory::format)},
        {QStringLiteral("Insert & Delete"), QStringLiteral("plus.slash.minus"),
         NavItem::ofCategory(ShortcutCategory::insertDelete)},
        {QStringLiteral("Data & Formulas"), QStringLiteral("function"), NavItem::dataGroup()},
        {QStringLiteral("Pivot & Review"), QStringLiteral("chart.bar.xaxis"), NavItem::pivotGroup()},
        {QStringLiteral("Essential"), QStringLiteral("star"), NavItem::ofCategory(ShortcutCategory::essential)},
        {QStringLiteral("Settings"), QStringLiteral("gear"), NavItem::settings()},
    };
    return table;
}

MainWindowSidebar::MainWindowSidebar(QWidget* parent) : QWidget(parent) {
    auto* column = new QVBoxLayout(this);
    column->setContentsMargins(0, 0, 0, 0);
    column->setSpacing(0);

    auto* header = new QWidget(this);
    header->setAutoFillBackground(true);
    QPalette headerPalette = header->palette();
    headerPalette.setColor(QPalette::Window, Style::windowBackground());
    header->setPalette(headerPalette);
    auto* headerRow = new QHBoxLayout(header);
    headerRow->setContentsMargins(10, 22, 10, 18);
    headerRow->setSpacing(9);
    auto* logo = new QLabel(header);
    logo->setPixmap(AppLogo::pixmap(30, devicePixelRatioF()));
    logo->setFixedSize(30, 30);
    headerRow->addWidget(logo, 0, Qt::AlignVCenter);
    auto* names = new QVBoxLayout;
    names->setSpacing(1);
    names->addWidget(Style::label(QStringLiteral("Keyloom"), Style::font(12, QFont::Bold), Style::primary(), header));
    names->addWidget(Style::label(QStringLiteral("For Windows migrants"), Style::font(10), Style::secondary(), header));
    headerRow->addLayout(names);
    headerRow->addStretch(1);
    column->addWidget(header);

    auto* divider = new QFrame(this);
    divider->setFrameShape(QFrame::HLine);
    divider->setFrameShadow(QFrame::Plain);
    divider->setStyleSheet(QStringLiteral("color: rgba(128, 128, 128, 80);"));
    column->addWidget(divider);

    auto* list = new QVBoxLayout;
    list->setContentsMargins(10, 8, 10, 0);
    list->setSpacing(2);
    m_group = new QButtonGroup(this);
    m_group->setExclusive(true);
    const QList<Row>& table = rows();
    for (qsizetype i = 0; i < table.size(); ++i) {
        if (i == 2) {
            list->addSpacing(10);
            m_categoriesHeader =
                Style::label(QStringLiteral("Categories"), Style::font(11, QFont::DemiBold), Style::secondary(), this);
            m_categoriesHeader->setContentsMargins(8, 0, 0, 2);
            list->addWidget(m_categoriesHeader);
        } else if (i == 8) {
            list->addSpacing(10);
        }
        QPushButton* button = makeRow(table[i].title, table[i].symbol, true, this);
        const NavItem item = table[i].item;
        m_group->addButton(button);
        m_buttons.insert(item, button);
        connect(button, &QPushButton::clicked, this, [this, item] { emit itemClicked(item); });
        list->addWidget(button);
    }
    // A plain button, not a row of the selection.
    m_reportIssue = makeRow(QStringLiteral("Report Issue"), QStringLiteral("exclamationmark.bubble"), false, this);
    connect(m_reportIssue, &QPushButton::clicked, this, &MainWindowSidebar::reportIssueClicked);
    list->addWidget(m_reportIssue);

    m_deviceId =
        Style::label(QString(), Style::font(9, QFont::Normal, true), Style::withOpacity(Style::secondary(), 0.4), this);
    m_deviceId->setTextInteractionFlags(Qt::TextSelectableByMouse | Qt::TextSelectableByKeyboard);
    m_deviceId->setContentsMargins(4 + 8, 10 + 8, 4, 12 + 8);
    list->addWidget(m_deviceId);
    list->addStretch(1);
    column->addLayout(list, 1);
}

void MainWindowSidebar::setSelectedItem(const NavItem& item) {
    if (QAbstractButton* button = m_buttons.value(item)) {
        button->setChecked(true);
    }
}

void MainWindowSidebar::setDeviceId(const QString& deviceId) {
    m_deviceId->setText(deviceId.left(8).toUpper());
}

QAbstractButton* MainWindowSidebar::buttonFor(const NavItem& item) const {
    return m_buttons.value(item);
}
