#include <gtest/gtest.h>

#include <QApplication>

// Every test program runs inside a QApplication on the offscreen platform unless told otherwise, and
// writes its screenshots into the build folder's screenshots/.
int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) {
        qputenv("QT_QPA_PLATFORM", "offscreen");
    }
    if (qEnvironmentVariableIsEmpty("KEYLOOM_SCREENSHOT_DIR")) {
        qputenv("KEYLOOM_SCREENSHOT_DIR", KEYLOOM_DEFAULT_SCREENSHOT_DIR);
    }
    QApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
