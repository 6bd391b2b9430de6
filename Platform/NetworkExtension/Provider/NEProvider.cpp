#include "NEProvider.h"

#include "FilterConfigurationHost.h"
#include "FilterConfigurationStore.h"
#include "FilterDataProviderHost.h"
#include "FilterLink/FilterLinkProtocol.h"
#include "FirewallRules.h"
#include "Foundation/Bundle.h"
#include "OSLog/OSLog.h"
#include "XPC/XPCListener.h"
#include "XPC/XPCPeerPolicy.h"

#include <csignal>
#include <fcntl.h>
#include <mutex>
#include <pthread.h>
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

}  // namespace

void NEProvider::setFilterDataProviderFactory(FilterDataProviderFactory factory) {
    std::lock_guard lock(g_mutex);
    g_factory = std::move(factory);
}

void NEProvider::startSystemExtensionMode() {
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
            FilterConfigurationStore(FilterConfigurationStore::defaultFile(identifier)),
            std::make_shared<FilterDataProviderHost>(std::move(factory), FirewallRules(settings),
                                                     applicationService),
            XPCListener::create(filterlink::kFilterManagerServiceName,
                                XPCPeerPolicy::desktopUser()));
        g_host = new std::shared_ptr<FilterConfigurationHost>(host);
    }

    std::thread([signals, host, fromTerminal] {
        int received = 0;
        for (siginfo_t info{}; received == 0;) {
            // The kernel sends these only from a terminal (si_code SI_KERNEL).
            if (sigwaitinfo(&signals, &info) > 0 && (fromTerminal || info.si_code != SI_KERNEL)) {
                received = info.si_signo;
            }
        }
        osLog("Stopping on signal " + std::to_string(received), OSLogType::standard);
        host->shutdown();
        XPCListener::invalidateAll();
        // Other threads may still run; leaving without destructors is the safe way out.
        ::_exit(0);
    }).detach();

    // Rules of an earlier run that died would reject nothing and queue to no one, but they are
    // ours to clear.
    FirewallRules(FirewallRules::Settings{}).remove();
    host->start();
}

}  // namespace tarnwick
