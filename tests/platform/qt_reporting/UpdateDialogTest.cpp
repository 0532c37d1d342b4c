#include <gtest/gtest.h>

#include <QPushButton>

#include "platform/qt/widgets/UpdateDialog.h"

TEST(UpdateDialog, NamesTheVersionAndOpensItsLink) {
    AppcastUpdater::InteractiveResult result;
    result.kind = AppcastUpdater::InteractiveResult::Kind::UpdateAvailable;
    result.item = {QStringLiteral("210"), QStringLiteral("2.1"), QUrl(QStringLiteral("https://keyloom.example/2.1"))};
    QList<QUrl> opened;
    UpdateDialog dialog(result, [&](const QUrl& url) { opened.append(url); });
    EXPECT_TRUE(dialog.message().contains(QStringLiteral("2.1")));
    ASSERT_NE(dialog.downloadButton(), nullptr);
    dialog.downloadButton()->click();
    EXPECT_EQ(opened, QList<QUrl>{result.item.link});

    // A link that is not a web address is never offered.
    result.item.link = QUrl(QStringLiteral("file:///etc/passwd"));
    UpdateDialog unsafe(result, [&](const QUrl& url) { opened.append(url); });
    EXPECT_EQ(unsafe.downloadButton(), nullptr);
}
