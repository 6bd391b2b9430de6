#include "QtSupport/MainQueueBridge.h"

#include <QApplication>

#include <benchmark/benchmark.h>

// Benchmarks of widgets: Qt's offscreen platform, with the main queue drained by the Qt event
// loop as in the application.
int main(int argc, char** argv) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication application(argc, argv);
    tarnwick::MainQueueBridge::install();
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    tarnwick::MainQueueBridge::uninstall();
    return 0;
}
