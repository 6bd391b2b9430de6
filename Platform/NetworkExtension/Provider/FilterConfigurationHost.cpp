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
        for (const auto& client : m_clients) {
            client->invalidate();
        }
        m_clients.clear();
    });
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

bool FilterConfigurationHost::shouldAcceptNewConnection(
    XPCListener&, const std::shared_ptr<XPCConnection>& connection) {
    if (++*m_clientCount > kMaximumClients) {
        --*m_clientCount;
        osLog("Refused a filter-manager client: too many are connected", OSLogType::error,
              hostLog());
        return false;
    }
    connection->setExportedInterface(FilterConfigurationCommunication::interface());
    connection->setExportedObject(FilterConfigurationCommunication::exportedObject(
        std::static_pointer_cast<FilterConfigurationCommunication>(shared_from_this())));
    connection->setRemoteObjectInterface(FilterConfigurationObserver::interface());
    const XPCConnection* identity = connection.get();
    std::weak_ptr<FilterConfigurationHost> weakSelf = weak_from_this();
    connection->setInvalidationHandler([weakSelf, identity, count = m_clientCount] {
        --*count;
        if (auto self = weakSelf.lock()) {
            self->m_queue->async([self, identity] {
                std::erase_if(self->m_clients,
                              [identity](const auto& client) { return client.get() == identity; });
            });
        }
    });
    m_queue->async(
        [self = shared_from_this(), connection] { self->m_clients.push_back(connection); });
    connection->resume();
    return true;
}

void FilterConfigurationHost::broadcast(const FilterConfiguration& configuration) {
    for (const auto& client : m_clients) {
        FilterConfigurationObserver::remoteObject(client->remoteObjectProxyWithErrorHandler({}))
            ->filterConfigurationDidChange(configuration);
    }
}

}  // namespace tarnwick
