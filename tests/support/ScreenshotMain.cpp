#include "QtSupport/MainQueueBridge.h"

#include <QApplication>

#include <gtest/gtest.h>

// Programs that save review pictures run on the platform they are given (xcb under Xvfb), not the
// offscreen one of the widget tests, with the main queue drained by the Qt event loop.
int main(int argc, char** argv) {
    QApplication application(argc, argv);
    tarnwick::MainQueueBridge::install();
    ::testing::InitGoogleTest(&argc, argv);
    const int status = RUN_ALL_TESTS();
    tarnwick::MainQueueBridge::uninstall();
    return status;
}
