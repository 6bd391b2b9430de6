#include "Dispatch/WorkerPool.h"
#include "QtSupport/MainQueueBridge.h"

#include <QApplication>

#include <gtest/gtest.h>

#include <chrono>

// Widget tests run on Qt's offscreen platform, with the main queue drained by the Qt event loop.
int main(int argc, char** argv) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication application(argc, argv);
    tarnwick::MainQueueBridge::install();
    ::testing::InitGoogleTest(&argc, argv);
    const int status = RUN_ALL_TESTS();
    tarnwick::MainQueueBridge::uninstall();
    // As the application does at its end: a worker that retired idle after the last job is joined
    // here, not left for ThreadSanitizer to report as a leaked thread.
    (void)tarnwick::WorkerPool::shared().stop(std::chrono::seconds(5));
    return status;
}
