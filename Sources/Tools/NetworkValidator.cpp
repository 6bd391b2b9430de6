#include "NetworkValidator.h"

#include "Dispatch/DispatchQueue.h"

#include <utility>

namespace tarnwick {

const std::shared_ptr<NetworkValidator>& NetworkValidator::shared() {
    // Never destroyed: it lives for the process.
    static auto* validator = new std::shared_ptr<NetworkValidator>(
        std::make_shared<NetworkValidator>([] { return std::make_shared<PathMonitor>(); }));
    return *validator;
}

NetworkValidator::NetworkValidator(MonitorFactory makeMonitor)
    : m_makeMonitor(std::move(makeMonitor)) {}

NetworkValidator::~NetworkValidator() {
    if (m_networkMonitor) {
        m_networkMonitor->cancel();
    }
}

void NetworkValidator::startMonitoring(StatusCallback statusCallback) {
    auto monitor = m_makeMonitor();
    // The handler holds the validator weakly, so the monitor never keeps it alive.
    monitor->setPathUpdateHandler([weakSelf = weak_from_this()](const NetworkPath& path) {
        if (auto self = weakSelf.lock()) {
            self->handle(path);
        }
    });
    std::shared_ptr<PathMonitor> previous;
    {
        std::lock_guard lock(m_mutex);
        previous = std::exchange(m_networkMonitor, monitor);
        m_networkStatusCallback = std::move(statusCallback);
    }
    if (previous) {
        previous->cancel();
    }
    monitor->start(DispatchQueue::main());
}

void NetworkValidator::stopMonitoring() {
    std::shared_ptr<PathMonitor> monitor;
    StatusCallback callback;
    {
        std::lock_guard lock(m_mutex);
        monitor = std::move(m_networkMonitor);
        callback = std::move(m_networkStatusCallback);
    }
    if (monitor) {
        monitor->cancel();
    }
}

void NetworkValidator::handle(const NetworkPath& path) {
    const bool isSatisfied = path.status == NetworkPath::Status::satisfied;
    StatusCallback callback;
    {
        std::lock_guard lock(m_mutex);
        m_networkStatus = isSatisfied;
        callback = m_networkStatusCallback;
    }
    if (callback) {
        callback(isSatisfied);
    }
}

bool NetworkValidator::networkStatus() const {
    std::lock_guard lock(m_mutex);
    return m_networkStatus;
}

std::shared_ptr<PathMonitor> NetworkValidator::networkMonitor() const {
    std::lock_guard lock(m_mutex);
    return m_networkMonitor;
}

bool NetworkValidator::isNetworkUp() const {
    const auto monitor = networkMonitor();
    return monitor && monitor->currentPath().status == NetworkPath::Status::satisfied;
}

}  // namespace tarnwick
