#include "platform/sim/SimKeyNames.h"

#include <QHash>

#include "platform/EventServices.h"

namespace {

const QHash<quint16, QString>& names() {
    static const QHash<quint16, QString> table = {
        {0, QStringLiteral("A")},      {1, QStringLiteral("S")},      {2, QStringLiteral("D")},
        {3, QStringLiteral("F")},      {4, QStringLiteral("H")},      {5, QStringLiteral("G")},
        {6, QStringLiteral("Z")},      {7, QStringLiteral("X")},      {8, QStringLiteral("C")},
        {9, QStringLiteral("V")},      {11, QStringLiteral("B")},     {12, QStringLiteral("Q")},
        {13, QStringLiteral("W")},     {14, QStringLiteral("E")},     {15, QStringLiteral("R")},
        {16, QStringLiteral("Y")},     {17, QStringLiteral("T")},     {18, QStringLiteral("1")},
        {19, QStringLiteral("2")},     {20, QStringLiteral("3")},     {21, QStringLiteral("4")},
        {22, QStringLiteral("6")},     {23, QStringLiteral("5")},     {24, QStringLiteral("=")},
        {25, QStringLiteral("9")},     {26, QStringLiteral("7")},     {27, QStringLiteral("-")},
        {28, QStringLiteral("8")},     {29, QStringLiteral("0")},     {30, QStringLiteral("]")},
        {31, QStringLiteral("O")},     {32, QStringLiteral("U")},     {33, QStringLiteral("[")},
        {34, QStringLiteral("I")},     {35, QStringLiteral("P")},     {36, QStringLiteral("↩")},
        {37, QStringLiteral("L")},     {38, QStringLiteral("J")},     {39, QStringLiteral("'")},
        {40, QStringLiteral("K")},     {41, QStringLiteral(";")},     {42, QStringLiteral("\\")},
        {43, QStringLiteral(",")},     {44, QStringLiteral("/")},     {45, QStringLiteral("N")},
        {46, QStringLiteral("M")},     {47, QStringLiteral(".")},     {48, QStringLiteral("⇥")},
        {49, QStringLiteral("Space")}, {50, QStringLiteral("`")},     {51, QStringLiteral("⌫")},
        {53, QStringLiteral("⎋")},     {96, QStringLiteral("F5")},    {97, QStringLiteral("F6")},
        {98, QStringLiteral("F7")},    {99, QStringLiteral("F3")},    {100, QStringLiteral("F8")},
        {101, QStringLiteral("F9")},   {103, QStringLiteral("F11")},  {109, QStringLiteral("F10")},
        {111, QStringLiteral("F12")},  {115, QStringLiteral("Home")}, {116, QStringLiteral("PgUp")},
        {117, QStringLiteral("⌦")},    {118, QStringLiteral("F4")},   {119, QStringLiteral("End")},
        {120, QStringLiteral("F2")},   {121, QStringLiteral("PgDn")}, {122, QStringLiteral("F1")},
        {123, QStringLiteral("←")},    {124, QStringLiteral("→")},    {125, QStringLiteral("↓")},
        {126, QStringLiteral("↑")},
    };
    return table;
}

}  // namespace

QString SimKeyNames::keyName(quint16 keyCode) {
    const auto found = names().constFind(keyCode);
    return found != names().constEnd() ? found.value() : QStringLiteral("#") + QString::number(keyCode);
}

QString SimKeyNames::chord(quint16 keyCode, quint64 flags) {
    QString text;
    if (flags & EventFlags::Control) {
        text += QStringLiteral("⌃");
    }
    if (flags & EventFlags::Option) {
        text += QStringLiteral("⌥");
    }
    if (flags & EventFlags::Shift) {
        text += QStringLiteral("⇧");
    }
    if (flags & EventFlags::Command) {
        text += QStringLiteral("⌘");
    }
    return text + keyName(keyCode);
}
