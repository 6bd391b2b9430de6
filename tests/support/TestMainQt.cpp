#include "QtSupport/MainQueueBridge.h"

#include <QApplication>

#include <gtest/gtest.h>

// Widget tests run on Qt's offscreen platform, with the main queue drained by the Qt event loop.
int main(int argc, char** argv) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication application(argc, argv);
    tarnwick::MainQueueBridge::install();
    ::testing::InitGoogleTest(&argc, argv);
    const int status = RUN_ALL_TESTS();
    tarnwick::MainQueueBridge::uninstall();
    return status;
}
