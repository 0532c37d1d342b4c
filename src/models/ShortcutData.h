#pragma once

#include <QList>

#include "models/Shortcut.h"

// The built-in catalogue: 68 entries grouped by category in the categories' order.
class ShortcutData {
public:
    static const QList<Shortcut>& all();
};
