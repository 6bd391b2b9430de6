#pragma once

#include <chrono>
#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace tarnwick {

class FilterManagerClient;
class NetworkValidator;
class Preferences;
class UndesirableCountriesManager;
class WhoIs;

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
    WhoIs& whoIs() const { return *m_whoIs; }
    const std::shared_ptr<FilterManagerClient>& filterManagerClient() const {
        return m_filterManagerClient;
    }

    // Runs at shut-down, first, before the services below go: the link to the extension is
    // closed by whoever opened it.
    void addShutDownStep(std::function<void()> step);

    // In this order: the registered steps (closing links), the filter-manager connection, the
    // web requests in flight, then the log is flushed so the last lines reach the file. Safe to
    // call again; only the first call does anything.
    void shutDown();

private:
    std::unique_ptr<WhoIs> m_whoIs;
    std::shared_ptr<FilterManagerClient> m_filterManagerClient;
    std::vector<std::function<void()>> m_shutDownSteps;
    std::chrono::seconds m_logFlushLimit;
    bool m_shutDown = false;
};

}  // namespace tarnwick
