#include "AppDelegate.h"
#include "Dispatch/Scheduler.h"
#include "Dispatch/WorkerPool.h"
#include "Network/CurlEngine.h"
#include "QtSupport/MainQueueBridge.h"
#include "Relaunch.h"

#include <QApplication>
#include <QTimer>

#include <chrono>

int main(int argc, char* argv[]) {
    // A relaunched instance starts once the one that started it has gone.
    if (const auto previous = tarnwick::Relaunch::previousInstance({argv, argv + argc})) {
        (void)tarnwick::Relaunch::waitForExit(*previous);  // after the limit it starts anyway
    }
    QApplication application(argc, argv);
    tarnwick::MainQueueBridge::install();

    tarnwick::AppDelegate delegate;
    QApplication::setQuitOnLastWindowClosed(true);
    QTimer::singleShot(0, &delegate, [&delegate] { delegate.applicationDidFinishLaunching(); });
    QObject::connect(&application, &QCoreApplication::aboutToQuit, &delegate,
                     [&delegate] { delegate.applicationWillTerminate(); });

    const int status = QApplication::exec();
    tarnwick::MainQueueBridge::uninstall();
    // The services have shut down; their last jobs finish while the objects they use still exist.
    tarnwick::Scheduler::stopSystem();
    tarnwick::CurlEngine::shared().stop();
    (void)tarnwick::WorkerPool::shared().stop(std::chrono::seconds(5));
    return status;
}
