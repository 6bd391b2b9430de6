#include "FilterManagerClient.h"

#include "FilterLink/FilterConfigurationCommunication.h"
#include "FilterLink/FilterLinkProtocol.h"

#include <atomic>

namespace tarnwick {

namespace {

constexpr auto kTimeLimit = std::chrono::seconds(10);

// Lets the first of answer, error and time-out through.
template <typename Completion>
class Once {
public:
    explicit Once(Completion completion) : m_completion(std::move(completion)) {}

    template <typename... Arguments>
    void operator()(Arguments&&... arguments) {
        if (!m_done.exchange(true) && m_completion) {
            m_completion(std::forward<Arguments>(arguments)...);
        }
    }

private:
    Completion m_completion;
    std::atomic<bool> m_done{false};
};

}  // namespace

std::shared_ptr<FilterManagerClient> FilterManagerClient::create(
    ChangeHandler onChange, std::shared_ptr<DispatchQueue> callbackQueue) {
    return std::make_shared<FilterManagerClient>(
        ConnectionFactory(
            [] { return XPCConnection::create(filterlink::kFilterManagerServiceName); }),
        std::move(onChange), kTimeLimit, std::move(callbackQueue));
}

std::shared_ptr<FilterManagerClient> FilterManagerClient::createForSocketPath(
    std::filesystem::path path, ChangeHandler onChange) {
    return std::make_shared<FilterManagerClient>(
        ConnectionFactory([path] { return XPCConnection::createForSocketPath(path); }),
        std::move(onChange), kTimeLimit);
}

FilterManagerClient::FilterManagerClient(ConnectionFactory makeConnection, ChangeHandler onChange,
                                         std::chrono::seconds timeLimit,
                                         std::shared_ptr<DispatchQueue> callbackQueue)
    : m_makeConnection(std::move(makeConnection))
    , m_onChange(std::move(onChange))
    , m_timeLimit(timeLimit)
    , m_queue(callbackQueue ? std::move(callbackQueue)
                            : DispatchQueue::create("filter-manager-client")) {}

FilterManagerClient::FilterManagerClient(std::shared_ptr<XPCConnection> connection,
                                         ChangeHandler onChange, std::chrono::seconds timeLimit,
                                         std::shared_ptr<DispatchQueue> callbackQueue)
    : FilterManagerClient(ConnectionFactory([connection] { return connection; }),
                          std::move(onChange), timeLimit, std::move(callbackQueue)) {}

FilterManagerClient::~FilterManagerClient() {
    std::lock_guard lock(m_mutex);
    if (m_connection) {
        m_connection->invalidate();
    }
}

std::shared_ptr<XPCConnection> FilterManagerClient::connection() {
    std::lock_guard lock(m_mutex);
    if (m_connection && (!*m_connectionDead || m_invalidated)) {
        return m_connection;
    }
    auto made = m_makeConnection();
    if (m_invalidated) {
        // Let go for good: calls fail as on any invalidated connection.
        made->invalidate();
        m_connection = std::move(made);
        return m_connection;
    }
    if (made == m_connection) {
        // The one connection there is: its calls fail as a dead connection's do.
        return m_connection;
    }
    m_connection = std::move(made);
    m_connectionDead = std::make_shared<std::atomic<bool>>(false);
    m_connection->setRemoteObjectInterface(FilterConfigurationCommunication::interface());
    m_connection->setExportedInterface(FilterConfigurationObserver::interface());
    // Held weakly: the connection must not keep the client alive.
    class Forwarder final : public FilterConfigurationObserver {
    public:
        explicit Forwarder(std::weak_ptr<FilterManagerClient> client)
            : m_client(std::move(client)) {}
        void filterConfigurationDidChange(const FilterConfiguration& configuration) override {
            if (auto client = m_client.lock()) {
                client->filterConfigurationDidChange(configuration);
            }
        }

    private:
        std::weak_ptr<FilterManagerClient> m_client;
    };
    m_connection->setExportedObject(
        FilterConfigurationObserver::exportedObject(std::make_shared<Forwarder>(weak_from_this())));
    // An interrupted connection connects again by itself with its next call; an invalidated one
    // never does.
    m_connection->setInvalidationHandler([dead = m_connectionDead] { *dead = true; });
    m_connection->resume();
    return m_connection;
}

void FilterManagerClient::loadFromPreferences(LoadCompletion completion) {
    auto once = std::make_shared<Once<LoadCompletion>>(std::move(completion));
    auto queue = m_queue;
    auto host = FilterConfigurationCommunication::remoteObject(
        connection()->remoteObjectProxyWithErrorHandler([once, queue](const XPCError& error) {
            queue->async([once, error] { (*once)(std::nullopt, error.localizedDescription); });
        }));
    host->loadFromPreferences([once, queue](const FilterConfiguration& configuration) {
        queue->async([once, configuration] { (*once)(configuration, std::nullopt); });
    });
    m_queue->asyncAfter(m_timeLimit, [once] {
        (*once)(std::nullopt, std::string("The filter host did not answer in time."));
    });
}

void FilterManagerClient::saveToPreferences(const FilterConfiguration& configuration,
                                            SaveCompletion completion) {
    auto once = std::make_shared<Once<SaveCompletion>>(std::move(completion));
    auto queue = m_queue;
    auto host = FilterConfigurationCommunication::remoteObject(
        connection()->remoteObjectProxyWithErrorHandler([once, queue](const XPCError& error) {
            queue->async([once, error] { (*once)(error.localizedDescription); });
        }));
    host->saveToPreferences(configuration, [once, queue](const std::optional<std::string>& error) {
        queue->async([once, error] { (*once)(error); });
    });
    m_queue->asyncAfter(
        m_timeLimit, [once] { (*once)(std::string("The filter host did not answer in time.")); });
}

void FilterManagerClient::fetchStatus(StatusCompletion completion) {
    auto once = std::make_shared<Once<StatusCompletion>>(std::move(completion));
    auto queue = m_queue;
    auto host = FilterConfigurationCommunication::remoteObject(
        connection()->remoteObjectProxyWithErrorHandler([once, queue](const XPCError& error) {
            queue->async([once, error] { (*once)(std::nullopt, error.localizedDescription); });
        }));
    host->fetchStatus([once, queue](const FilterStatus& status) {
        queue->async([once, status] { (*once)(status, std::nullopt); });
    });
    m_queue->asyncAfter(m_timeLimit, [once] {
        (*once)(std::nullopt, std::string("The filter host did not answer in time."));
    });
}

void FilterManagerClient::invalidate() {
    std::lock_guard lock(m_mutex);
    m_invalidated = true;
    if (m_connection) {
        m_connection->invalidate();
    }
}

void FilterManagerClient::filterConfigurationDidChange(const FilterConfiguration& configuration) {
    if (m_onChange) {
        m_queue->async([onChange = m_onChange, configuration] { onChange(configuration); });
    }
}

}  // namespace tarnwick
