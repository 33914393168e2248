#include <QApplication>
#include <gtest/gtest.h>

// One application for the whole binary, destroyed before Qt's own statics are. Widget tests
// never need a desktop: test discovery runs the binary without CTest's environment, so the
// offscreen platform is the default here too.
int main(int argc, char** argv) {
    ::testing::InitGoogleTest(&argc, argv);
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    return RUN_ALL_TESTS();
}
