#include "NEFilterManager.h"

#include <mutex>

namespace tarnwick {

struct NEFilterManager::State {
    mutable std::mutex mutex;
    FilterConfiguration configuration;
};

NEFilterManager& NEFilterManager::shared() {
    // Never destroyed: completions still queued at exit find it.
    static auto* manager = new NEFilterManager(
        [](FilterManagerClient::ChangeHandler onChange) {
            return FilterManagerClient::create(std::move(onChange), DispatchQueue::main());
        },
        NotificationCenter::defaultCenter());
    return *manager;
}

NEFilterManager::NEFilterManager(ClientFactory makeClient, NotificationCenter& center,
                                 std::shared_ptr<DispatchQueue> callbackQueue)
    : m_makeClient(std::move(makeClient))
    , m_center(center)
    , m_callbackQueue(std::move(callbackQueue))
    , m_state(std::make_shared<State>()) {}

const std::shared_ptr<FilterManagerClient>& NEFilterManager::client() {
    if (!m_client) {
        // The change word is taken over on the callback queue, where the application reads it.
        std::weak_ptr<State> state = m_state;
        auto queue = m_callbackQueue;
        NotificationCenter* center = &m_center;
        m_client = m_makeClient([this, state, queue, center](const FilterConfiguration& changed) {
            queue->async([this, state, center, changed] {
                if (state.expired()) {
                    return;
                }
                take(changed);
                center->post(configurationDidChangeNotification, this);
            });
        });
    }
    return m_client;
}

void NEFilterManager::take(const FilterConfiguration& configuration) {
    std::lock_guard lock(m_state->mutex);
    m_state->configuration = configuration;
}

void NEFilterManager::loadFromPreferences(Completion completion) {
    std::weak_ptr<State> state = m_state;
    auto queue = m_callbackQueue;
    client()->loadFromPreferences([this, state, queue, completion = std::move(completion)](
                                      const std::optional<FilterConfiguration>& configuration,
                                      const std::optional<std::string>& error) {
        queue->async([this, state, completion, configuration, error] {
            if (!state.expired() && configuration && !error) {
                take(*configuration);
            }
            if (completion) {
                completion(configuration ? error : error.value_or("No configuration"));
            }
        });
    });
}

void NEFilterManager::saveToPreferences(Completion completion) {
    auto queue = m_callbackQueue;
    client()->saveToPreferences(configuration(), [queue, completion = std::move(completion)](
                                                     const std::optional<std::string>& error) {
        queue->async([completion, error] {
            if (completion) {
                completion(error);
            }
        });
    });
}

void NEFilterManager::fetchFilterStatus(StatusCompletion completion) {
    auto queue = m_callbackQueue;
    client()->fetchStatus(
        [queue, completion = std::move(completion)](const std::optional<FilterStatus>& status,
                                                    const std::optional<std::string>& error) {
            queue->async([completion, status, error] {
                if (!completion) {
                    return;
                }
                if (status && !error) {
                    completion(*status);
                } else {
                    completion(Failure{error.value_or("No status")});
                }
            });
        });
}

bool NEFilterManager::isEnabled() const {
    std::lock_guard lock(m_state->mutex);
    return m_state->configuration.enabled;
}

void NEFilterManager::setEnabled(bool enabled) {
    std::lock_guard lock(m_state->mutex);
    m_state->configuration.enabled = enabled;
}

std::optional<FilterConfiguration::ProviderConfiguration> NEFilterManager::providerConfiguration()
    const {
    std::lock_guard lock(m_state->mutex);
    return m_state->configuration.providerConfiguration;
}

void NEFilterManager::setProviderConfiguration(
    std::optional<FilterConfiguration::ProviderConfiguration> configuration) {
    std::lock_guard lock(m_state->mutex);
    m_state->configuration.providerConfiguration = std::move(configuration);
}

std::optional<std::string> NEFilterManager::localizedDescription() const {
    std::lock_guard lock(m_state->mutex);
    return m_state->configuration.localizedDescription;
}

void NEFilterManager::setLocalizedDescription(std::optional<std::string> description) {
    std::lock_guard lock(m_state->mutex);
    m_state->configuration.localizedDescription = std::move(description);
}

FilterConfiguration NEFilterManager::configuration() const {
    std::lock_guard lock(m_state->mutex);
    return m_state->configuration;
}

}  // namespace tarnwick
