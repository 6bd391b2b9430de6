#pragma once

#include "Network/PathMonitor.h"

#include <functional>
#include <memory>
#include <mutex>

namespace tarnwick {

// Watches whether the machine has a usable network path and reports every change through one
// callback, on the main queue. The connection monitor holds the process-wide instance, starts it
// once and stops it when it finds that its own owner is gone.
class NetworkValidator : public std::enable_shared_from_this<NetworkValidator> {
public:
    using StatusCallback = std::function<void(bool)>;
    using MonitorFactory = std::function<std::shared_ptr<PathMonitor>()>;

    static const std::shared_ptr<NetworkValidator>& shared();

    // Made with std::make_shared. The shared instance watches the system's routes; tests pass
    // monitors over a hand-driven path source.
    explicit NetworkValidator(MonitorFactory makeMonitor);
    ~NetworkValidator();
    NetworkValidator(const NetworkValidator&) = delete;
    NetworkValidator& operator=(const NetworkValidator&) = delete;

    // Replaces any running monitor and callback with new ones. The callback gets the status after
    // every update: true only when the path is satisfied.
    void startMonitoring(StatusCallback statusCallback);
    // Cancels and drops the monitor and clears the callback; the last status stays.
    void stopMonitoring();

    // The status of the last update; false before the first.
    bool networkStatus() const;
    // The running monitor, or none before the first start and after a stop.
    std::shared_ptr<PathMonitor> networkMonitor() const;
    // Whether there is a monitor whose current path is satisfied.
    bool isNetworkUp() const;

private:
    void handle(const NetworkPath& path);

    MonitorFactory m_makeMonitor;
    mutable std::mutex m_mutex;
    std::shared_ptr<PathMonitor> m_networkMonitor;
    StatusCallback m_networkStatusCallback;
    bool m_networkStatus = false;
};

}  // namespace tarnwick
