#include "views/shared/AppLogo.h"

#include <QtGlobal>

// Resources of a static library are registered only when something asks for them. The macro
// must be used outside any namespace.
static void registerResources() {
    Q_INIT_RESOURCE(keyloom);
}

const QPixmap& AppLogo::original() {
    static const QPixmap logo = [] {
        registerResources();
        return QPixmap(QStringLiteral(":/keyloom/AppLogo.png"));
    }();
    return logo;
}

QPixmap AppLogo::pixmap(int size, qreal devicePixelRatio) {
    const QPixmap& logo = original();
    if (logo.isNull() || size <= 0) {
        return {};
    }
    const int pixels = qRound(size * devicePixelRatio);
    QPixmap scaled = logo.scaled(pixels, pixels, Qt::KeepAspectRatio, Qt::SmoothTransformation);
    scaled.setDevicePixelRatio(devicePixelRatio);
    return scaled;
}
