#include "AppDelegate.h"

#include "QtSupport/MainQueueBridge.h"

#include <QApplication>
#include <QTimer>

int main(int argc, char* argv[]) {
    QApplication application(argc, argv);
    tarnwick::MainQueueBridge::install();

    tarnwick::AppDelegate delegate;
    QApplication::setQuitOnLastWindowClosed(true);
    QTimer::singleShot(0, &delegate, [&delegate] { delegate.applicationDidFinishLaunching(); });
    QObject::connect(&application, &QCoreApplication::aboutToQuit, &delegate,
                     [&delegate] { delegate.applicationWillTerminate(); });

    const int status = QApplication::exec();
    tarnwick::MainQueueBridge::uninstall();
    return status;
}
