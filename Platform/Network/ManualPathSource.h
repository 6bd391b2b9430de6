#pragma once

#include "NetworkPath.h"
#include "PathSource.h"

#include <mutex>

namespace tarnwick {

// A path source that reports what it is told, on the thread that tells it.
// Used for testing only
class ManualPathSource final : public PathSource {
public:
    explicit ManualPathSource(NetworkPath initial = {}) : m_path(initial) {}

    void start(Observer observer) override;
    void stop() override;

    void setPath(NetworkPath path);
    bool isStarted() const;

private:
    mutable std::mutex m_mutex;
    NetworkPath m_path;
    Observer m_observer;
};

}  // namespace tarnwick
