#include "NEProvider.h"

#include "BundleInfoLookup.h"
#include "Dispatch/DispatchQueue.h"
#include "Dispatch/RunLoop.h"
#include "FilterConfigurationHost.h"
#include "FilterConfigurationStore.h"
#include "FilterDataProviderHost.h"
#include "FilterLink/FilterLinkProtocol.h"
#include "FirewallRules.h"
#include "Foundation/Bundle.h"
#include "Foundation/FileDescriptor.h"
#include "OSLog/OSLog.h"
#include "XPC/XPCListener.h"
#include "XPC/XPCPeerPolicy.h"
#include "XPC/XPCServiceLock.h"
#include "XPC/XPCServicePath.h"

#include <atomic>
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <mutex>
#include <optional>
#include <poll.h>
#include <pthread.h>
#include <sys/eventfd.h>
#include <sys/signalfd.h>
#include <thread>
#include <unistd.h>

namespace tarnwick {

namespace {

std::mutex g_mutex;
NEProvider::FilterDataProviderFactory g_factory;
// Opening /dev/tty works only for a process that has a controlling terminal.
bool hasControllingTerminal() {
    const int fd = ::open("/dev/tty", O_RDONLY | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) {
        return false;
    }
    ::close(fd);
    return true;
}

// Lives until the process ends; the signal thread shuts it down.
std::shared_ptr<FilterConfigurationHost>* g_host = nullptr;

// Waits for the stop signals; never destroyed, so it is joined only by `stop`.
struct SignalThread {
    FileDescriptor signals;  // a signalfd for the blocked stop signals
    FileDescriptor wake;     // written by `stop`
    std::jthread thread;
};
SignalThread* g_signalThread = nullptr;
std::atomic<bool> g_shutDown{false};

// How long the exit waits for bundle look-ups stuck on a user's files.
constexpr auto kLookupExitWait = std::chrono::milliseconds(500);

// The stop signal that came, or 0 when woken by `stop`.
int waitForSignal(const SignalThread& worker, bool fromTerminal) {
    for (;;) {
        pollfd descriptors[2] = {{worker.signals.get(), POLLIN, 0}, {worker.wake.get(), POLLIN, 0}};
        if (::poll(descriptors, 2, -1) < 0) {
            if (errno == EINTR) {
                continue;
            }
            osLog(std::string("Stop signals can no longer be waited for: ") + std::strerror(errno),
                  OSLogType::fault);
            return 0;
        }
        if (descriptors[1].revents != 0) {
            return 0;
        }
        signalfd_siginfo info{};
        // The kernel sends these only from a terminal (code SI_KERNEL).
        if (::read(worker.signals.get(), &info, sizeof(info)) == sizeof(info) &&
            (fromTerminal || info.ssi_code != SI_KERNEL)) {
            return static_cast<int>(info.ssi_signo);
        }
    }
}

}  // namespace

void NEProvider::setFilterDataProviderFactory(FilterDataProviderFactory factory) {
    std::lock_guard lock(g_mutex);
    g_factory = std::move(factory);
}

void NEProvider::startSystemExtensionMode(const std::function<void()>& openServices) {
    // Taken before anything the running instance owns is touched; held until the process ends.
    static std::optional<XPCServiceLock> instanceLock;
    if (!instanceLock) {
        // Serving root alone would shut the application out while every connection passes
        // unasked: better not to run, and say why.
        if (!XPCPeerPolicy::desktopUserIdentifier()) {
            const std::string message =
                std::string(
                    "The filter extension does not start: nothing names the desktop "
                    "user whose application it serves (") +
                XPCPeerPolicy::kDesktopUserVariable +
                " in its service unit, or PKEXEC_UID when started through pkexec).";
            osLog(message, OSLogType::fault);
            std::fprintf(stderr, "%s\n", message.c_str());
            std::exit(XPCPeerPolicy::kNoDesktopUserExitStatus);
        }
        const auto directory = xpcServicesDirectory();
        const auto prepared = prepareXPCServicesDirectory(directory);
        auto lock = prepared ? XPCServiceLock::acquire(XPCServiceLock::pathIn(directory))
                             : Result<XPCServiceLock, std::string>(Failure{prepared.error()});
        if (!lock) {
            const std::string message =
                "The filter extension does not start: " + lock.error() + ".";
            osLog(message, OSLogType::fault);
            std::fprintf(stderr, "%s\n", message.c_str());
            std::exit(1);
        }
        instanceLock.emplace(std::move(*lock));
    }

    // Blocked before any other thread exists, so every thread inherits the mask and only the
    // signal thread below receives them.
    sigset_t signals;
    sigemptyset(&signals);
    sigaddset(&signals, SIGTERM);
    sigaddset(&signals, SIGINT);
    sigaddset(&signals, SIGHUP);
    pthread_sigmask(SIG_BLOCK, &signals, nullptr);
    std::signal(SIGPIPE, SIG_IGN);
    // Started as a service, the process leads a session without a terminal, and would take as
    // its own the first terminal it opened without O_NOCTTY. None of our opens does; should a
    // library's ever do, what is typed on that terminal (interrupt, quit, suspend, hang-up) still
    // neither stops nor suspends the filter. Signals sent with kill(2) work as ever.
    const bool fromTerminal = hasControllingTerminal();
    if (!fromTerminal) {
        for (const int signal : {SIGQUIT, SIGTSTP, SIGTTIN, SIGTTOU}) {
            std::signal(signal, SIG_IGN);
        }
    }

    std::shared_ptr<FilterConfigurationHost> host;
    {
        std::lock_guard lock(g_mutex);
        if (g_host != nullptr) {
            return;
        }
        const Bundle& bundle = Bundle::main();
        const std::string identifier =
            bundle.bundleIdentifier().value_or("com.brenlow-works.corvid.filter-extension");
        // The application connects to the service the bundle names; its peers' traffic is exempt.
        std::string applicationService;
        if (const Value* networkExtension = bundle.objectForInfoDictionaryKey("NetworkExtension")) {
            if (const Value* name = networkExtension->find("NEMachServiceName")) {
                applicationService = name->asString().value_or("");
            }
        }
        auto factory = [] {
            std::lock_guard factoryLock(g_mutex);
            return g_factory ? g_factory() : nullptr;
        };
        const FirewallRules::Settings settings;
        host = std::make_shared<FilterConfigurationHost>(
            FilterConfigurationStore(FilterConfigurationStore::defaultFile(identifier),
                                     FilterConfigurationStore::defaultStateFolder()),
            std::make_shared<FilterDataProviderHost>(std::move(factory), FirewallRules(settings),
                                                     applicationService),
            XPCListener::create(filterlink::kFilterManagerServiceName,
                                XPCPeerPolicy::desktopUser()));
        g_host = new std::shared_ptr<FilterConfigurationHost>(host);
    }

    g_signalThread = new SignalThread{FileDescriptor(::signalfd(-1, &signals, SFD_CLOEXEC)),
                                      FileDescriptor(::eventfd(0, EFD_CLOEXEC)),
                                      {}};
    if (!g_signalThread->signals || !g_signalThread->wake) {
        const std::string message = std::string(
                                        "The filter extension does not start: cannot wait "
                                        "for stop signals: ") +
                                    std::strerror(errno) + ".";
        osLog(message, OSLogType::fault);
        std::fprintf(stderr, "%s\n", message.c_str());
        std::exit(1);
    }
    g_signalThread->thread = std::jthread([host, fromTerminal] {
        const int received = waitForSignal(*g_signalThread, fromTerminal);
        if (received == 0) {
            return;
        }
        osLog("Stopping on signal " + std::to_string(received), OSLogType::standard);
        host->shutdown();
        XPCListener::invalidateAll();
        g_shutDown = true;
        // Run on the main loop, so it ends the loop whether or not it is waiting right now.
        DispatchQueue::main()->async([] { RunLoop::main().stop(); });
    });

    // Rules of an earlier run that died would reject nothing and queue to no one, but they are
    // ours to clear.
    FirewallRules(FirewallRules::Settings{}).remove();
    if (openServices) {
        openServices();
    }
    host->start();
}

void NEProvider::runUntilStopped() {
    while (!g_shutDown) {
        RunLoop::main().run();
    }
    stop();
    if (const std::size_t left = BundleInfoLookup::shared().stop(kLookupExitWait); left > 0) {
        osLog("Exiting with " + std::to_string(left) + " bundle look-ups still reading after " +
                  std::to_string(kLookupExitWait.count()) + " ms",
              OSLogType::error);
    }
}

void NEProvider::stop() {
    if (g_signalThread == nullptr || !g_signalThread->thread.joinable()) {
        return;
    }
    const std::uint64_t one = 1;
    (void)!::write(g_signalThread->wake.get(), &one, sizeof(one));
    g_signalThread->thread.join();
}

}  // namespace tarnwick
