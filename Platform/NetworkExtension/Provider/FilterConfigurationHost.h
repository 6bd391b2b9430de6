#pragma once

#include "Dispatch/DispatchQueue.h"
#include "FilterConfigurationStore.h"
#include "FilterLink/FilterConfiguration.h"
#include "FilterLink/FilterConfigurationCommunication.h"
#include "Foundation/Result.h"
#include "OSLog/OSLogThrottle.h"
#include "XPC/XPCConnection.h"
#include "XPC/XPCListener.h"
#include "XPC/XPCListenerDelegate.h"

#include <chrono>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

namespace tarnwick {

// Keeps the content-filter configuration for the filter manager of the application: answers
// loads, applies and stores saves (the filter starts or stops before the save is answered), and
// tells every connected client when the configuration changed. All work runs on one serial queue,
// and every call is answered. Clients are bounded (`kMaximumClients` at once), so connections of
// the desktop user cannot take the root process's threads and memory; and since clients that sit
// idle must not lock out the application (or root), a newcomer is never refused: the longest-idle
// client makes way (one that never called before one that did), and a client that makes no call
// within `kFirstCallTimeLimit` is closed.
class FilterConfigurationHost final : public FilterConfigurationCommunication,
                                      public XPCListenerDelegate,
                                      public std::enable_shared_from_this<FilterConfigurationHost> {
public:
    // The filter the configuration switches.
    class FilterSwitch {
    public:
        // What a look at the running filter finds.
        struct Health {
            bool rulesInPlace = true;
            bool queueBound = true;
            // What is wrong; empty when nothing is.
            std::string problem;
        };

        virtual ~FilterSwitch() = default;
        // The reason when the filter could not start.
        virtual Result<void, std::string> startFilter() = 0;
        virtual void stopFilter() = 0;
        // Asked only while the filter runs. A filter with nothing of its own to look at is well.
        virtual Health health() { return {}; }
    };

    static constexpr std::size_t kMaximumClients = 16;
    static constexpr std::chrono::seconds kFirstCallTimeLimit{3};

    FilterConfigurationHost(FilterConfigurationStore store, std::shared_ptr<FilterSwitch> filter,
                            std::shared_ptr<XPCListener> listener);

    // Applies the stored configuration, then listens for clients.
    void start();
    // Stops the filter and the listener, and lets the clients go. Waits until done.
    void shutdown();

    void loadFromPreferences(LoadReply reply) override;
    void saveToPreferences(const FilterConfiguration& configuration, SaveReply reply) override;
    void fetchStatus(StatusReply reply) override;
    bool shouldAcceptNewConnection(XPCListener& listener,
                                   const std::shared_ptr<XPCConnection>& connection) override;

private:
    static bool wantsFilter(const FilterConfiguration& configuration);
    void broadcast(const FilterConfiguration& configuration);

    FilterConfigurationStore m_store;
    const std::shared_ptr<FilterSwitch> m_filter;
    const std::shared_ptr<XPCListener> m_listener;
    const std::shared_ptr<DispatchQueue> m_queue;
    // Touched on m_queue only.
    FilterConfiguration m_configuration;
    bool m_filterRunning = false;

    struct Client {
        std::shared_ptr<XPCConnection> connection;
        std::chrono::steady_clock::time_point accepted;
    };
    // Touched where clients are accepted and where they end, which are other threads than m_queue.
    std::mutex m_clientsMutex;
    std::vector<Client> m_clients;
    OSLogThrottle m_clientLog;
};

}  // namespace tarnwick
