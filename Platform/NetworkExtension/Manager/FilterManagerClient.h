#pragma once

#include "Dispatch/DispatchQueue.h"
#include "FilterLink/FilterConfiguration.h"
#include "FilterLink/FilterConfigurationObserver.h"
#include "FilterLink/FilterStatus.h"
#include "XPC/XPCConnection.h"

#include <atomic>
#include <chrono>
#include <filesystem>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>

namespace tarnwick {

// The application's end of the filter configuration: load and save against the extension host,
// and word of every change it makes. Each call completes exactly once, on the client's queue:
// with the host's answer, with an error at once when the host cannot be reached, or with an error
// when no answer comes within the time limit. The application passes the main queue as the
// client's queue, so answers and change words reach its state there and nowhere else.
//
// A connection that could not reach the host (the extension was not running yet) or that the
// host closed is dead for good, so the next call makes a new one: a client that once found no
// host reaches the host once it runs.
class FilterManagerClient final : public FilterConfigurationObserver,
                                  public std::enable_shared_from_this<FilterManagerClient> {
public:
    using LoadCompletion = std::function<void(const std::optional<FilterConfiguration>&,
                                              const std::optional<std::string>& error)>;
    using SaveCompletion = std::function<void(const std::optional<std::string>& error)>;
    using StatusCompletion = std::function<void(const std::optional<FilterStatus>&,
                                                const std::optional<std::string>& error)>;
    using ChangeHandler = std::function<void(const FilterConfiguration&)>;

    // Without a callback queue, the client answers on a serial queue of its own.
    static std::shared_ptr<FilterManagerClient> create(
        ChangeHandler onChange = {}, std::shared_ptr<DispatchQueue> callbackQueue = nullptr);
    // A client of a host listening elsewhere than the services folder.
    // Used for testing only
    static std::shared_ptr<FilterManagerClient> createForSocketPath(std::filesystem::path path,
                                                                    ChangeHandler onChange = {});

    using ConnectionFactory = std::function<std::shared_ptr<XPCConnection>()>;

    FilterManagerClient(ConnectionFactory makeConnection, ChangeHandler onChange,
                        std::chrono::seconds timeLimit,
                        std::shared_ptr<DispatchQueue> callbackQueue = nullptr);
    // Over this one connection only, which is never made again.
    FilterManagerClient(std::shared_ptr<XPCConnection> connection, ChangeHandler onChange,
                        std::chrono::seconds timeLimit,
                        std::shared_ptr<DispatchQueue> callbackQueue = nullptr);
    ~FilterManagerClient() override;

    void loadFromPreferences(LoadCompletion completion);
    void saveToPreferences(const FilterConfiguration& configuration, SaveCompletion completion);
    // How the filter is doing, as the host finds it when asked.
    void fetchStatus(StatusCompletion completion);
    // Closes the connection for good: later calls fail at once.
    void invalidate();

    void filterConfigurationDidChange(const FilterConfiguration& configuration) override;

private:
    // The live connection, made (and resumed) when there is none or the last one is dead.
    std::shared_ptr<XPCConnection> connection();

    const ConnectionFactory m_makeConnection;
    const ChangeHandler m_onChange;
    const std::chrono::seconds m_timeLimit;
    const std::shared_ptr<DispatchQueue> m_queue;
    std::mutex m_mutex;
    std::shared_ptr<XPCConnection> m_connection;
    std::shared_ptr<std::atomic<bool>> m_connectionDead;
    bool m_invalidated = false;
};

}  // namespace tarnwick
