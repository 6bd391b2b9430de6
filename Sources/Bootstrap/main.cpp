#include "AppDelegate.h"
#include "Dispatch/WorkerPool.h"
#include "QtSupport/MainQueueBridge.h"
#include "QtSupport/MainThreadLinkBridge.h"
#include "Relaunch.h"

#include <QApplication>
#include <QIcon>
#include <QTimer>

#include <chrono>

int main(int argc, char* argv[]) {
    // A relaunched instance starts once the one that started it has gone.
    if (const auto previous = tarnwick::Relaunch::previousInstance({argv, argv + argc})) {
        (void)tarnwick::Relaunch::waitForExit(*previous);  // after the limit it starts anyway
    }
    QApplication application(argc, argv);
    // The desktop entry's name ties the windows to it, so the task bar, the window switcher and
    // notifications show its name and icon; the icon also heads the feedback form and alerts.
    QGuiApplication::setDesktopFileName(QStringLiteral(TARNWICK_DESKTOP_FILE_NAME));
    QApplication::setWindowIcon(QIcon(QStringLiteral(":/Images/AppIcon.svg")));
    tarnwick::MainQueueBridge::install();
    tarnwick::MainThreadLinkBridge::install();

    tarnwick::AppDelegate delegate;
    // At quit, once the requests they would serve were cancelled.
    delegate.services().addWorkerStop(&tarnwick::ApplicationServices::stopProcessEngines);
    QApplication::setQuitOnLastWindowClosed(true);
    QTimer::singleShot(0, &delegate, [&delegate] { delegate.applicationDidFinishLaunching(); });
    QObject::connect(&application, &QCoreApplication::aboutToQuit, &delegate,
                     [&delegate] { delegate.applicationWillTerminate(); });

    const int status = QApplication::exec();
    tarnwick::MainThreadLinkBridge::uninstall();
    tarnwick::MainQueueBridge::uninstall();
    // The services have shut down and the log was flushed; the pool goes last, because the log's
    // queues run on it and its stop still runs what they were given since.
    (void)tarnwick::WorkerPool::shared().stop(std::chrono::seconds(5));
    return status;
}
