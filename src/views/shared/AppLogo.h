#pragma once

#include <QPixmap>

// The application's square logo image ("AppLogo"), from the application's resources.
class AppLogo {
public:
    // The logo scaled to fit a `size` × `size` box (sharp on high-density screens too).
    static QPixmap pixmap(int size, qreal devicePixelRatio = 2.0);
    // The full-size image; null only if the resources were not linked in.
    static const QPixmap& original();
};
