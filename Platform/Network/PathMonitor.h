#pragma once

#include "Dispatch/DispatchQueue.h"
#include "NetworkPath.h"
#include "PathSource.h"

#include <functional>
#include <memory>
#include <mutex>
#include <optional>

namespace tarnwick {

// Watches the network path and calls its update handler on the queue it was started on: once
// with the path as it is, then after every change of status. After `cancel` (or the monitor's
// end) the handler is not called again, not even for updates already on their way to the queue.
class PathMonitor {
public:
    using UpdateHandler = std::function<void(const NetworkPath&)>;

    // Watches the system's routing tables.
    PathMonitor();
    // Used for testing only
    explicit PathMonitor(std::shared_ptr<PathSource> source);
    ~PathMonitor();
    PathMonitor(const PathMonitor&) = delete;
    PathMonitor& operator=(const PathMonitor&) = delete;

    void setPathUpdateHandler(UpdateHandler handler);
    // Only the first start counts; a cancelled monitor does not start again.
    void start(std::shared_ptr<DispatchQueue> queue);
    void cancel();

    // The path last handed to the update handler; unsatisfied before the first.
    NetworkPath currentPath() const;

private:
    struct State {
        mutable std::mutex mutex;
        UpdateHandler handler;
        bool started = false;
        bool cancelled = false;
        std::optional<NetworkPath> lastReported;
        NetworkPath current;
    };

    std::shared_ptr<PathSource> m_source;
    std::shared_ptr<State> m_state;
};

}  // namespace tarnwick
