#pragma once

#include "Dispatch/DispatchQueue.h"
#include "FilterLink/FilterConfiguration.h"
#include "Foundation/NotificationCenter.h"
#include "Foundation/Result.h"
#include "NetworkExtension/Manager/FilterManagerClient.h"

#include <functional>
#include <memory>
#include <optional>
#include <string>

namespace tarnwick {

// The application's view of the content-filter configuration that the extension host keeps:
// load it, change it here, save it back. Saving with the filter enabled makes the host start the
// filter; disabled, it stops it. When the host reports a change (from this or another client),
// the manager takes it over and posts `configurationDidChangeNotification` with itself as object.
//
// Completions and notifications arrive on the callback queue (the main queue unless told
// otherwise), exactly once, with an error text when the host could not be reached or refused.
class NEFilterManager {
public:
    using Completion = std::function<void(const std::optional<std::string>& error)>;
    // The status, or why none came.
    using StatusCompletion = std::function<void(Result<FilterStatus, std::string>)>;
    using ClientFactory =
        std::function<std::shared_ptr<FilterManagerClient>(FilterManagerClient::ChangeHandler)>;

    static constexpr const char* configurationDidChangeNotification =
        "NEFilterConfigurationDidChange";

    static NEFilterManager& shared();

    // Tests pass a factory of clients of their own host, their own center and queue.
    NEFilterManager(ClientFactory makeClient, NotificationCenter& center,
                    std::shared_ptr<DispatchQueue> callbackQueue = DispatchQueue::main());
    virtual ~NEFilterManager() = default;
    NEFilterManager(const NEFilterManager&) = delete;
    NEFilterManager& operator=(const NEFilterManager&) = delete;

    virtual void loadFromPreferences(Completion completion);
    virtual void saveToPreferences(Completion completion);
    // Asks the extension host how the filter is doing: whether it answers, and whether the filter
    // the configuration asks for works. Completes once, on the callback queue.
    virtual void fetchFilterStatus(StatusCompletion completion);

    virtual bool isEnabled() const;
    virtual void setEnabled(bool enabled);
    virtual std::optional<FilterConfiguration::ProviderConfiguration> providerConfiguration() const;
    virtual void setProviderConfiguration(
        std::optional<FilterConfiguration::ProviderConfiguration> configuration);
    std::optional<std::string> localizedDescription() const;
    virtual void setLocalizedDescription(std::optional<std::string> description);

    FilterConfiguration configuration() const;

    // The manager's link to the extension host, made on first use. The rest of the application
    // talks to the host through this one link rather than opening another.
    std::shared_ptr<FilterManagerClient> link() { return client(); }

private:
    void take(const FilterConfiguration& configuration);
    const std::shared_ptr<FilterManagerClient>& client();

    ClientFactory m_makeClient;
    NotificationCenter& m_center;
    const std::shared_ptr<DispatchQueue> m_callbackQueue;
    struct State;
    std::shared_ptr<State> m_state;
    std::shared_ptr<FilterManagerClient> m_client;
};

}  // namespace tarnwick
