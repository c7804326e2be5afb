// The entry point of the Qt test programs. Widgets need the application
// object for the whole run, and it must go before the process's static
// destructors.

#include <QApplication>
#include <cstdlib>
#include <gtest/gtest.h>

int main(int argc, char** argv) {
    // Headless unless the caller chose a platform: test discovery and plain
    // ctest runs have no display.
    ::setenv("QT_QPA_PLATFORM", "offscreen", 0);
    QApplication application(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
