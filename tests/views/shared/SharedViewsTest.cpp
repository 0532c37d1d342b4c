#include <gtest/gtest.h>

#include <QFontInfo>
#include <QGraphicsOpacityEffect>
#include <QLabel>
#include <QRawFont>
#include <QVBoxLayout>

#include "models/ShortcutCategory.h"
#include "models/ShortcutData.h"
#include "support/Screenshot.h"
#include "views/main/EngineStatus.h"
#include "views/settings/SettingsView.h"
#include "views/shared/AppLogo.h"
#include "views/shared/Card.h"
#include "views/shared/GlassBadge.h"
#include "views/shared/KeyChip.h"
#include "views/shared/KeySequence.h"
#include "views/shared/ShortcutRow.h"
#include "views/shared/Style.h"
#include "views/shared/SymbolIcons.h"
#include "views/shared/SymbolView.h"

namespace {

QStringList chipKeys(const KeySequence& sequence) {
    QStringList keys;
    for (const KeyChip* chip : sequence.chips()) {
        keys << chip->key();
    }
    return keys;
}

// Every symbol name the views of the application draw, wherever they come from.
QStringList symbolsUsedByViews() {
    QStringList names;
    for (ShortcutCategory category : ShortcutCategories::allCases()) {
        names << ShortcutCategories::icon(category);
    }
    for (EngineStatus status :
         {EngineStatus::active, EngineStatus::standby, EngineStatus::paused, EngineStatus::noPermission}) {
        names << EngineStatuses::icon(status);
    }
    names << SettingsView::tabSymbols();
    names << QStringList{"arrow.right", "lightbulb.fill", "command.square.fill", "command.square",
                         // main window, sidebar, update card, issue sheet, key recorder
                         "house.fill", "list.bullet", "paintbrush", "plus.slash.minus", "function", "chart.bar.xaxis",
                         "star", "gear", "exclamationmark.bubble", "magnifyingglass", "xmark.circle.fill",
                         "arrow.down.circle.fill", "checkmark.circle.fill", "exclamationmark.circle.fill",
                         "exclamationmark.triangle.fill", "keyboard", "doc.on.clipboard"};
    return names;
}

}  // namespace

TEST(SymbolIconsTest, EveryNameTheViewsUseHasAGlyphInTheIconFont) {
    ASSERT_TRUE(SymbolIcons::fontAvailable());
    const QFont font = SymbolIcons::font(24);
    EXPECT_EQ(QFontInfo(font).family(), QStringLiteral("Material Icons"));
    const QRawFont raw = QRawFont::fromFont(font);
    ASSERT_TRUE(raw.isValid());
    for (const QString& name : symbolsUsedByViews()) {
        const auto glyph = SymbolIcons::glyph(name);
        ASSERT_TRUE(glyph.has_value()) << "no glyph for symbol " << name.toStdString();
        EXPECT_TRUE(raw.supportsCharacter(*glyph)) << name.toStdString() << " maps outside the font";
    }
}

TEST(SymbolIconsTest, UnknownNamesHaveNoGlyphAndDrawNothing) {
    EXPECT_FALSE(SymbolIcons::glyph(QStringLiteral("no.such.symbol")).has_value());
    EXPECT_FALSE(SymbolIcons::glyph(QStringLiteral("Arrow.Right")).has_value());
    EXPECT_TRUE(SymbolIcons::icon(QStringLiteral("no.such.symbol"), Qt::black).isNull());
    const SymbolView view(QStringLiteral("no.such.symbol"), 12, Qt::black);
    EXPECT_FALSE(view.hasGlyph());
    EXPECT_FALSE(SymbolIcons::icon(QStringLiteral("gearshape"), Qt::black).isNull());
}

namespace {

// The symbol as its view draws it, black on transparent, at 48 points in a 64-pixel square.
QImage drawn(const QString& name) {
    SymbolView view(name, 48 / 1.15, Qt::black);
    view.resize(64, 64);
    QImage image(64, 64, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    view.render(&image, QPoint(), QRegion(), QWidget::DrawChildren);
    return image;
}

int inkOf(const QImage& image) {
    int ink = 0;
    for (int y = 0; y < image.height(); ++y) {
        for (int x = 0; x < image.width(); ++x) {
            ink += qAlpha(image.pixel(x, y));
        }
    }
    return ink / 255;
}

}  // namespace

TEST(SymbolIconsTest, OutlinedFilledAndFramedVariantsStayApart) {
    // A filled variant is not its outline.
    EXPECT_GT(inkOf(drawn("power.circle.fill")), 2 * inkOf(drawn("power.circle")));
    EXPECT_GT(inkOf(drawn("command.square.fill")), 2 * inkOf(drawn("command.square")));
    // A frame reaches the middle of its right edge; only a square one fills the corner.
    const QPoint edge(51, 32);
    const QPoint corner(47, 47);
    const struct {
        const char* name;
        QPoint at;
        bool inked;
    } rows[] = {
        {"command", edge, false},
        {"command.square", edge, true},
        {"command.square.fill", edge, true},
        {"command.square.fill", corner, true},
        {"power.circle", edge, true},
        {"power.circle.fill", edge, true},
        {"power.circle.fill", corner, false},
    };
    for (const auto& row : rows) {
        EXPECT_EQ(qAlpha(drawn(row.name).pixel(row.at)) > 64, row.inked) << row.name << " at " << row.at.x();
    }
}

TEST(AppLogoTest, IsASquareImageFromTheResources) {
    const QPixmap& logo = AppLogo::original();
    ASSERT_FALSE(logo.isNull());
    EXPECT_EQ(logo.width(), logo.height());
    const QPixmap small = AppLogo::pixmap(24, 2.0);
    EXPECT_EQ(small.size(), QSize(48, 48));
    EXPECT_DOUBLE_EQ(small.devicePixelRatio(), 2.0);
    EXPECT_TRUE(AppLogo::pixmap(0).isNull());
}

TEST(KeySequenceTest, JoinsOneChipPerTokenWithPlusSigns) {
    const KeySequence sequence({"Alt", "E", "S", "V"});
    EXPECT_EQ(chipKeys(sequence), QStringList({"Alt", "E", "S", "V"}));
    EXPECT_EQ(sequence.plusSignCount(), 3);

    // Children alternate chip, "+", chip… in order.
    QStringList drawn;
    const auto* layout = sequence.layout();
    for (int i = 0; i < layout->count(); ++i) {
        QWidget* child = layout->itemAt(i)->widget();
        if (auto* chip = qobject_cast<KeyChip*>(child)) {
            drawn << chip->key();
        } else if (auto* label = qobject_cast<QLabel*>(child)) {
            drawn << label->text();
        }
    }
    EXPECT_EQ(drawn, QStringList({"Alt", "+", "E", "+", "S", "+", "V"}));
    EXPECT_EQ(layout->spacing(), 2);
}

TEST(KeySequenceTest, CombinedRepeatedSingleAndEmptyTokens) {
    const KeySequence combined({"⌃⌘V", "⇧F9"});
    EXPECT_EQ(chipKeys(combined), QStringList({"⌃⌘V", "⇧F9"}));
    EXPECT_EQ(combined.plusSignCount(), 1);

    const KeySequence repeated({"Alt", "H", "H"});
    EXPECT_EQ(chipKeys(repeated), QStringList({"Alt", "H", "H"}));
    EXPECT_NE(repeated.chips()[1], repeated.chips()[2]);

    const KeySequence single({"F2"});
    EXPECT_EQ(single.chips().size(), 1);
    EXPECT_EQ(single.plusSignCount(), 0);

    const KeySequence empty({});
    EXPECT_TRUE(empty.chips().isEmpty());
    EXPECT_TRUE(empty.isHidden());
}

TEST(KeyChipTest, ShowsTheTokenVerbatimInsideItsPadding) {
    const KeyChip chip(QStringLiteral(" format "));
    EXPECT_EQ(chip.key(), QStringLiteral(" format "));
    const QFontMetricsF metrics(chip.font());
    EXPECT_EQ(chip.font().pixelSize(), 11);
    // Monospaced as the chip needs it: narrow and wide letters advance alike (some monospaced fonts,
    // Noto Sans Mono among them, are not flagged fixed-pitch).
    for (const QChar c : QStringLiteral("il.1WMm@")) {
        EXPECT_EQ(metrics.horizontalAdvance(c), metrics.horizontalAdvance(QLatin1Char('0')))
            << QString(c).toStdString();
    }
    EXPECT_NEAR(chip.sizeHint().width(), metrics.horizontalAdvance(QStringLiteral(" format ")) + 14, 1.0);
    EXPECT_NEAR(chip.sizeHint().height(), metrics.height() + 6, 1.0);
}

TEST(ShortcutRowTest, DrawsIconTextsWindowsKeysArrowAndMacKeysInOrder) {
    Shortcut shortcut{"ps-1",
                      ShortcutCategory::pasteSpecial,
                      "Paste Values",
                      "Only the values",
                      {"Alt", "E", "S", "V"},
                      {"⌃⌘V", "V", "↩"},
                      true};
    const ShortcutRow row(shortcut);
    EXPECT_EQ(row.categoryIcon()->name(), QStringLiteral("doc.on.clipboard"));
    EXPECT_TRUE(row.categoryIcon()->hasGlyph());
    EXPECT_EQ(row.categoryIcon()->color(), Style::accent());
    EXPECT_EQ(row.categoryIcon()->width(), 20);
    EXPECT_EQ(row.nameLabel()->text(), QStringLiteral("Paste Values"));
    EXPECT_EQ(row.descriptionLabel()->text(), QStringLiteral("Only the values"));
    EXPECT_EQ(row.windowsKeys()->keys(), shortcut.windowsKeys);
    EXPECT_EQ(row.macKeys()->keys(), shortcut.macKeys);
    EXPECT_EQ(row.arrow()->name(), QStringLiteral("arrow.right"));

    auto* dim = qobject_cast<QGraphicsOpacityEffect*>(row.windowsKeys()->graphicsEffect());
    ASSERT_NE(dim, nullptr);
    EXPECT_DOUBLE_EQ(dim->opacity(), 0.7);
    EXPECT_EQ(row.macKeys()->graphicsEffect(), nullptr);

    // Left to right: icon, texts, flexible space, Windows keys, arrow, Mac keys.
    const auto* layout = row.layout();
    EXPECT_EQ(layout->spacing(), 12);
    EXPECT_EQ(layout->contentsMargins(), QMargins(0, 6, 0, 6));
    EXPECT_EQ(layout->itemAt(0)->widget(), row.categoryIcon());
    EXPECT_NE(layout->itemAt(2)->spacerItem(), nullptr);
    EXPECT_EQ(layout->itemAt(3)->widget(), row.windowsKeys());
    EXPECT_EQ(layout->itemAt(4)->widget(), row.arrow());
    EXPECT_EQ(layout->itemAt(5)->widget(), row.macKeys());
}

TEST(ShortcutRowTest, EmptyWindowsKeysLeaveArrowAndMacKeysAndEnabledIsIgnored) {
    Shortcut shortcut{"x", ShortcutCategory::essential, "Name", "Desc", {}, {"⌘S"}, false};
    QWidget host;
    auto* row = new ShortcutRow(shortcut, &host);
    host.show();
    EXPECT_FALSE(row->windowsKeys()->isVisible());
    EXPECT_TRUE(row->arrow()->isVisible());
    EXPECT_TRUE(row->macKeys()->isVisible());
    EXPECT_TRUE(row->isEnabled());
    EXPECT_EQ(row->nameLabel()->palette().color(QPalette::WindowText), Style::primary());
}

TEST(GlassBadgeTest, IconIsOptionalAndPaddingStaysTheSame) {
    const GlassBadge plain(QStringLiteral("Beta"), Style::orange());
    EXPECT_EQ(plain.label(), QStringLiteral("Beta"));
    EXPECT_EQ(plain.iconView(), nullptr);
    EXPECT_EQ(plain.layout()->contentsMargins(), QMargins(8, 3, 8, 3));

    const GlassBadge withIcon(QStringLiteral("Live"), Style::green(), QStringLiteral("power.circle.fill"));
    ASSERT_NE(withIcon.iconView(), nullptr);
    EXPECT_TRUE(withIcon.iconView()->hasGlyph());
    EXPECT_EQ(withIcon.iconView()->color(), Style::green());
    EXPECT_EQ(withIcon.layout()->contentsMargins(), QMargins(8, 3, 8, 3));
    EXPECT_EQ(withIcon.layout()->spacing(), 4);
    EXPECT_GT(withIcon.sizeHint().width(), plain.sizeHint().width());
}

// A translucent card shows its own tint over the window, the same everywhere inside: its shadow
// must neither darken it from below nor show through as a fainter inner rounded rectangle.
TEST(CardTest, ATintedCardShowsItsOwnFill) {
    QWidget window;
    window.setAutoFillBackground(true);
    window.setPalette(QPalette(QColor(239, 239, 239)));
    window.resize(340, 180);
    Card card(Style::accent(), 0.08, 0.1, &window);
    const QRect body(20, 20, 280, 128);  // as large as the dashboard's Try Next card
    card.setGeometry(body);
    window.show();
    const QImage image = window.grab().toImage();
    const QColor inside = image.pixelColor(body.center());
    const QColor tint = Style::accent();
    for (const auto& [got, channel] :
         {std::pair{inside.red(), tint.red()}, {inside.green(), tint.green()}, {inside.blue(), tint.blue()}}) {
        EXPECT_NEAR(got, 239 + (channel - 239) * 0.08, 2) << inside.name().toStdString();
    }
    // Every pixel but the antialiased edge and the rounded corners.
    const int r = static_cast<int>(card.radius());
    int differing = 0;
    for (int y = body.top() + 1; y < body.bottom(); ++y) {
        for (int x = body.left() + 1; x < body.right(); ++x) {
            const bool corner =
                (x < body.left() + r || x > body.right() - r) && (y < body.top() + r || y > body.bottom() - r);
            differing += !corner && image.pixelColor(x, y) != inside;
        }
    }
    EXPECT_EQ(differing, 0) << "pixels differ from " << inside.name().toStdString();
}

TEST(SharedViewsScreenshot, RowsChipsAndBadges) {
    QWidget page;
    page.setAutoFillBackground(true);
    QPalette palette = page.palette();
    palette.setColor(QPalette::Window, Style::controlBackground());
    page.setPalette(palette);
    auto* column = new QVBoxLayout(&page);
    column->setContentsMargins(12, 12, 12, 12);
    const QList<Shortcut>& all = ShortcutData::all();
    for (int i : {0, 5, 20, 40, 60}) {
        column->addWidget(new ShortcutRow(all[i], &page));
    }
    column->addWidget(new ShortcutRow(
        Shortcut{"e", ShortcutCategory::essential, "Empty Windows keys", "Only Mac keys", {}, {"⌘S"}, true}, &page));
    auto* badges = new QHBoxLayout;
    badges->addWidget(new GlassBadge(QStringLiteral("Beta"), Style::orange()));
    badges->addWidget(new GlassBadge(QStringLiteral("Live"), Style::green(), QStringLiteral("power.circle.fill")));
    badges->addStretch(1);
    column->addLayout(badges);
    page.resize(640, 360);
    for (const SymbolView* symbol : page.findChildren<SymbolView*>()) {
        EXPECT_TRUE(symbol->hasGlyph()) << symbol->name().toStdString();
    }
    EXPECT_FALSE(saveScreenshot(page, QStringLiteral("shared_rows")).isEmpty());
}
