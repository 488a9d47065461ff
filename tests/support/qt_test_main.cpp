// GoogleTest entry point with a Qt application object for the event loop. Built twice:
// without QV_TEST_GUI a QCoreApplication; with it a QApplication on the offscreen platform
// (unless the test's environment names another, for example an Xvfb display with "xcb").
#include <gtest/gtest.h>

#ifdef QV_TEST_GUI
#include <QApplication>
using TestApplication = QApplication;
#else
#include <QCoreApplication>
using TestApplication = QCoreApplication;
#endif

int main(int argc, char** argv) {
#ifdef QV_TEST_GUI
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
#endif
    testing::InitGoogleTest(&argc, argv);
    TestApplication app(argc, argv);
    return RUN_ALL_TESTS();
}
