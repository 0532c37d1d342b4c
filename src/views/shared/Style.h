#pragma once

#include <QColor>
#include <QFont>
#include <QRectF>
#include <QString>

class DropShadow;
class QLabel;
class QPainter;
class QPushButton;
class QWidget;

// The look shared by every view: semantic colours, system fonts sized in points (one point is one
// pixel at scale 1), and the rounded shapes the cards and capsules are made of.
class Style {
public:
    // Semantic colours. Primary and secondary follow the application palette; the others are the
    // platform's standard tints.
    static QColor primary();
    static QColor secondary();
    static QColor accent();
    static QColor green();
    static QColor orange();
    static QColor red();
    static QColor controlBackground();
    static QColor windowBackground();
    // Stand-in for the thin translucent material behind key chips.
    static QColor thinMaterial();

    static QColor withOpacity(QColor color, double opacity);

    // The system font at `size` points; `monospaced` picks the fixed-pitch design.
    static QFont font(int size, QFont::Weight weight = QFont::Normal, bool monospaced = false);

    // A plain label in the given font and colour (opacity included in the colour). `wrap` lets the
    // text take as many lines as its width allows.
    static QLabel* label(const QString& text, const QFont& font, const QColor& color, QWidget* parent = nullptr,
                         bool wrap = false);
    static void setLabelColor(QLabel* label, const QColor& color);

    // A bordered button filled with `tint` and white text; `small` is the small control size.
    static QPushButton* prominentButton(const QString& title, const QColor& tint, bool small,
                                        QWidget* parent = nullptr);
    // A borderless button showing only its title in `color`.
    static QPushButton* plainButton(const QString& title, const QFont& font, const QColor& color,
                                    QWidget* parent = nullptr);

    // A filled rounded rectangle.
    static void paintRoundedRect(QPainter& painter, const QRectF& rect, double radius, const QColor& fill);
    // A soft shadow under `widget`, a rounded rectangle of `cornerRadius` (drawn by a sibling below
    // it, outside its bounds): colour with its opacity, blur radius and downward offset in points.
    static DropShadow* applyShadow(QWidget* widget, const QColor& color, double radius, double offsetY,
                                   double cornerRadius);
    // A capsule: rounded ends spanning the full height. The outline is centred on the edge.
    static void paintCapsule(QPainter& painter, const QRectF& rect, const QColor& fill, const QColor& outline = {},
                             double outlineWidth = 0.5);
};
