#include "AppDelegate.h"
#include "CommandLineOptions.h"
#include "Dispatch/WorkerPool.h"
#include "Foundation/Bundle.h"
#include "QtSupport/MainQueueBridge.h"
#include "QtSupport/MainThreadLinkBridge.h"
#include "Relaunch.h"
#include "SingleInstance.h"
#include "Tools/BundleUtilities.h"

#include <QApplication>
#include <QIcon>
#include <QTimer>

#include <chrono>
#include <cstdio>
#include <cstdlib>

namespace {

std::optional<std::string> environmentValue(const char* name) {
    if (const char* value = std::getenv(name)) {
        return std::string(value);
    }
    return std::nullopt;
}

}  // namespace

int main(int argc, char* argv[]) {
    using namespace tarnwick;
    const std::vector<std::string> arguments(argv, argv + argc);
    switch (CommandLineOptions::parse(arguments)) {
        case CommandLineOptions::Request::help:
            std::fputs(CommandLineOptions::helpText().c_str(), stdout);
            return 0;
        case CommandLineOptions::Request::version:
            std::fputs(CommandLineOptions::versionText(versionText(Bundle::main())).c_str(),
                       stdout);
            return 0;
        case CommandLineOptions::Request::run:
            break;
    }
    if (const auto problem = CommandLineOptions::missingDisplay(arguments, &environmentValue)) {
        std::fprintf(stderr, "%s\n", problem->c_str());
        return 1;
    }

    // A relaunched instance starts once the one that started it has gone.
    if (const auto previous = Relaunch::previousInstance(arguments)) {
        (void)Relaunch::waitForExit(*previous);  // after the limit it starts anyway
    }
    SingleInstance instance(SingleInstance::defaultFolder());
    switch (instance.claim(std::chrono::seconds(10))) {
        case SingleInstance::Role::forwarded:
            return 0;
        case SingleInstance::Role::unanswered:
            std::fputs("tarnwick: another instance is running but does not answer\n", stderr);
            return 1;
        case SingleInstance::Role::first:
            break;
    }

    // The window class is the desktop entry's StartupWMClass whatever the program file is
    // called: the class comes from the application name, the X11 instance name from "-name".
    QCoreApplication::setApplicationName(QStringLiteral(TARNWICK_WINDOW_CLASS));
    std::vector<char*> toolkitArguments{argv[0], const_cast<char*>("-name"),
                                        const_cast<char*>(TARNWICK_WINDOW_INSTANCE)};
    toolkitArguments.insert(toolkitArguments.end(), argv + 1, argv + argc);
    int toolkitCount = static_cast<int>(toolkitArguments.size());
    toolkitArguments.push_back(nullptr);
    QApplication application(toolkitCount, toolkitArguments.data());
    // The desktop entry's name ties the windows to it, so the task bar, the window switcher and
    // notifications show its name and icon; the icon also heads the feedback form and alerts.
    QGuiApplication::setDesktopFileName(QStringLiteral(TARNWICK_DESKTOP_FILE_NAME));
    QApplication::setWindowIcon(QIcon(QStringLiteral(":/Images/AppIcon.svg")));
    MainQueueBridge::install();
    MainThreadLinkBridge::install();

    AppDelegate delegate;
    instance.listen([&delegate] { delegate.showMainWindow(); });
    // At quit, once the requests they would serve were cancelled.
    delegate.services().addWorkerStop(&ApplicationServices::stopProcessEngines);
    QApplication::setQuitOnLastWindowClosed(true);
    QTimer::singleShot(0, &delegate, [&delegate] { delegate.applicationDidFinishLaunching(); });
    QObject::connect(&application, &QCoreApplication::aboutToQuit, &delegate,
                     [&delegate] { delegate.applicationWillTerminate(); });

    const int status = QApplication::exec();
    MainThreadLinkBridge::uninstall();
    MainQueueBridge::uninstall();
    // The services have shut down and the log was flushed; the pool goes last, because the log's
    // queues run on it and its stop still runs what they were given since.
    (void)WorkerPool::shared().stop(std::chrono::seconds(5));
    return status;
}
