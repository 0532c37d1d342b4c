#include <QApplication>
#include <QListWidget>

#include "models/ShortcutData.h"

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    QListWidget list;
    list.setWindowTitle(QStringLiteral("Keyloom"));
    for (const Shortcut& s : ShortcutData::all()) {
        list.addItem(QStringLiteral("%1 — %2  (%3)").arg(ShortcutCategories::displayName(s.category), s.name, s.windowsKeys.join(QStringLiteral(" "))));
    }
    list.resize(640, 720);
    list.show();
    return app.exec();
}
