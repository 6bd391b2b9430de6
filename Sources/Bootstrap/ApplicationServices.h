#pragma once

#include <chrono>
#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace tarnwick {

class Bundle;
class FilterManagerClient;
class HTTPSession;
class IPCConnection;
class NEFilterManager;
class NetworkValidator;
class OSSystemExtensionManager;
class Preferences;
class Scheduler;
class UndesirableCountriesManager;
class WhoIs;
class Workspace;

// The application's long-lived services, made in one place at start-up and handed to the models
// that use them, then shut down in a stated order at quit. The process-wide `shared()` accessors
// (target countries, rule selection, connectivity) give the same instances this owner hands out;
// they are never destroyed, because analysis threads may still read them while the process ends.
//
// Everything that reaches application code from outside arrives on the main queue: the filter
// manager client answers there, and so does the link to the extension.
class ApplicationServices {
public:
    struct Configuration {
        std::string geoIPService;  // base URL with its trailing "/"
        // Makes the filter-manager client; the default talks to the extension host.
        std::function<std::shared_ptr<FilterManagerClient>()> makeFilterManagerClient;
        std::chrono::seconds logFlushLimit = std::chrono::seconds(2);
        // The link to the extension that quitting closes; none where nothing opens one.
        IPCConnection* ipcConnection = nullptr;
    };

    // The production services.
    ApplicationServices();
    // Used for testing only
    explicit ApplicationServices(Configuration configuration);
    ~ApplicationServices();
    ApplicationServices(const ApplicationServices&) = delete;
    ApplicationServices& operator=(const ApplicationServices&) = delete;

    UndesirableCountriesManager& undesirableCountries() const;
    Preferences& preferences() const;
    const std::shared_ptr<NetworkValidator>& networkValidator() const;
    const std::shared_ptr<WhoIs>& whoIs() const { return m_whoIs; }
    const std::shared_ptr<FilterManagerClient>& filterManagerClient() const {
        return m_filterManagerClient;
    }
    NEFilterManager& filterManager() const;
    OSSystemExtensionManager& extensionManager() const;
    // Throws std::logic_error when the configuration named no link.
    IPCConnection& ipcConnection() const;
    Scheduler& scheduler() const;
    const Workspace& workspace() const;
    const Bundle& mainBundle() const;

    // A session for web requests that quitting cancels with the others.
    std::shared_ptr<HTTPSession> makeHTTPSession();

    // Runs at shut-down, first, before the services below go: links that others opened.
    void addShutDownStep(std::function<void()> step);
    // Runs at shut-down after the web requests are cancelled and before the log is flushed: the
    // worker pools and engines whose last jobs those requests were.
    void addWorkerStop(std::function<void()> stop);

    // The process's own engines, for a worker stop of the application: the I/O loops' threads,
    // the system clock, the web transfer engine and the reaper of launched programs. The worker
    // pool is not among them: the log's queues run on it, so it stops after the flush.
    static void stopProcessEngines();

    // In this order: the link to the extension and the registered steps, the filter-manager
    // connection, the web requests in flight, the workers, then the log is flushed so the last
    // lines reach the file. Safe to call again; only the first call does anything.
    void shutDown();

private:
    std::shared_ptr<WhoIs> m_whoIs;
    std::shared_ptr<FilterManagerClient> m_filterManagerClient;
    IPCConnection* m_ipcConnection;
    std::vector<std::shared_ptr<HTTPSession>> m_sessions;
    std::vector<std::function<void()>> m_shutDownSteps;
    std::vector<std::function<void()>> m_workerStops;
    std::chrono::seconds m_logFlushLimit;
    bool m_shutDown = false;
};

}  // namespace tarnwick
