#include "FilterConfigurationHost.h"

#include "FilterLink/FilterConfigurationObserver.h"
#include "OSLog/OSLog.h"

#include <algorithm>

namespace tarnwick {

namespace {

const OSLog& hostLog() {
    // Never destroyed: threads that outlive main may still log.
    static const auto* log = new OSLog("com.brenlow-works.corvid", "filter");
    return *log;
}

}  // namespace

FilterConfigurationHost::FilterConfigurationHost(FilterConfigurationStore store,
                                                 std::shared_ptr<FilterSwitch> filter,
                                                 std::shared_ptr<XPCListener> listener)
    : m_store(std::move(store))
    , m_filter(std::move(filter))
    , m_listener(std::move(listener))
    , m_queue(DispatchQueue::create("filter-configuration")) {}

bool FilterConfigurationHost::wantsFilter(const FilterConfiguration& configuration) {
    return configuration.enabled && configuration.providerConfiguration &&
           configuration.providerConfiguration->filterSockets;
}

void FilterConfigurationHost::start() {
    m_queue->sync([this] {
        m_configuration = m_store.load();
        if (wantsFilter(m_configuration)) {
            if (auto started = m_filter->startFilter(); !started) {
                osLog("The filter could not be started: " + started.error(), OSLogType::error,
                      hostLog());
            } else {
                m_filterRunning = true;
            }
        }
    });
    m_listener->setDelegate(weak_from_this());
    m_listener->resume();
}

void FilterConfigurationHost::shutdown() {
    m_listener->invalidate();
    m_queue->sync([this] {
        if (m_filterRunning) {
            m_filter->stopFilter();
            m_filterRunning = false;
        }
    });
    std::vector<Client> clients;
    {
        std::lock_guard lock(m_clientsMutex);
        clients = std::move(m_clients);
        m_clients.clear();
    }
    for (const auto& client : clients) {
        client.connection->invalidate();
    }
}

void FilterConfigurationHost::loadFromPreferences(LoadReply reply) {
    m_queue->async(
        [self = shared_from_this(), reply = std::move(reply)] { reply(self->m_configuration); });
}

void FilterConfigurationHost::saveToPreferences(const FilterConfiguration& configuration,
                                                SaveReply reply) {
    m_queue->async([self = shared_from_this(), configuration, reply = std::move(reply)] {
        if (configuration.enabled && !configuration.providerConfiguration) {
            reply(
                "The configuration is invalid: an enabled filter needs a provider "
                "configuration.");
            return;
        }
        const bool wanted = wantsFilter(configuration);
        const bool wasRunning = self->m_filterRunning;
        if (wanted && !wasRunning) {
            if (auto started = self->m_filter->startFilter(); !started) {
                reply("The filter could not be started: " + started.error());
                return;
            }
            self->m_filterRunning = true;
        } else if (!wanted && wasRunning) {
            self->m_filter->stopFilter();
            self->m_filterRunning = false;
        }
        if (auto saved = self->m_store.save(configuration); !saved) {
            // What is stored and what runs must agree: the switch is undone.
            if (self->m_filterRunning != wasRunning) {
                if (wasRunning) {
                    self->m_filterRunning = self->m_filter->startFilter().ok();
                } else {
                    self->m_filter->stopFilter();
                    self->m_filterRunning = false;
                }
            }
            reply("The configuration could not be saved: " + saved.error());
            return;
        }
        self->m_configuration = configuration;
        osLog(std::string("The filter configuration was saved; the filter is ") +
                  (self->m_filterRunning ? "on" : "off"),
              OSLogType::info, hostLog());
        self->broadcast(configuration);
        reply(std::nullopt);
    });
}

void FilterConfigurationHost::fetchStatus(StatusReply reply) {
    m_queue->async([self = shared_from_this(), reply = std::move(reply)] {
        FilterStatus status;
        status.enabled = wantsFilter(self->m_configuration);
        status.running = self->m_filterRunning;
        if (self->m_filterRunning) {
            const auto health = self->m_filter->health();
            status.rulesInPlace = health.rulesInPlace;
            status.queueBound = health.queueBound;
            status.problem = health.problem;
        } else if (status.enabled) {
            status.problem = "the filter is configured on but does not run";
        }
        if (!status.isSound()) {
            osLog("The filter does not work: " + status.fault(), OSLogType::error, hostLog());
        }
        reply(status);
    });
}

bool FilterConfigurationHost::shouldAcceptNewConnection(
    XPCListener&, const std::shared_ptr<XPCConnection>& connection) {
    std::shared_ptr<XPCConnection> evicted;
    {
        std::lock_guard lock(m_clientsMutex);
        if (m_clients.size() >= kMaximumClients) {
            // Idle since its last call, or since it came when it never called; the ones that never
            // called go first.
            const auto idleness = [](const Client& client) {
                const auto lastCall = client.connection->lastCallTime();
                return std::make_pair(lastCall.has_value(), lastCall.value_or(client.accepted));
            };
            const auto longestIdle = std::min_element(
                m_clients.begin(), m_clients.end(),
                [&](const Client& a, const Client& b) { return idleness(a) < idleness(b); });
            evicted = std::move(longestIdle->connection);
            m_clients.erase(longestIdle);
        }
        m_clients.push_back({connection, std::chrono::steady_clock::now()});
    }
    if (evicted) {
        m_clientLog.log("Closed the longest-idle filter-manager client to make room for a new one",
                        OSLogType::error, hostLog());
        evicted->invalidate();
    }
    connection->setExportedInterface(FilterConfigurationCommunication::interface());
    connection->setExportedObject(FilterConfigurationCommunication::exportedObject(
        std::static_pointer_cast<FilterConfigurationCommunication>(shared_from_this())));
    connection->setRemoteObjectInterface(FilterConfigurationObserver::interface());
    const XPCConnection* identity = connection.get();
    std::weak_ptr<FilterConfigurationHost> weakSelf = weak_from_this();
    connection->setInvalidationHandler([weakSelf, identity] {
        if (auto self = weakSelf.lock()) {
            std::lock_guard lock(self->m_clientsMutex);
            std::erase_if(self->m_clients, [identity](const auto& client) {
                return client.connection.get() == identity;
            });
        }
    });
    m_queue->asyncAfter(
        kFirstCallTimeLimit, [weakSelf, weakConnection = std::weak_ptr(connection)] {
            const auto self = weakSelf.lock();
            const auto idle = weakConnection.lock();
            if (self && idle && !idle->lastCallTime()) {
                self->m_clientLog.log("Closed a filter-manager client that made no call in time",
                                      OSLogType::info, hostLog());
                idle->invalidate();
            }
        });
    connection->resume();
    return true;
}

void FilterConfigurationHost::broadcast(const FilterConfiguration& configuration) {
    std::vector<Client> clients;
    {
        std::lock_guard lock(m_clientsMutex);
        clients = m_clients;
    }
    for (const auto& client : clients) {
        FilterConfigurationObserver::remoteObject(
            client.connection->remoteObjectProxyWithErrorHandler({}))
            ->filterConfigurationDidChange(configuration);
    }
}

}  // namespace tarnwick
