#pragma once

#include "NetworkPath.h"

#include <functional>

namespace tarnwick {

// Where a PathMonitor learns about the machine's network path: the routing tables of the system,
// or a hand-driven source in tests.
class PathSource {
public:
    using Observer = std::function<void(const NetworkPath&)>;

    virtual ~PathSource() = default;

    // Calls `observer`, on a thread of the source's choosing, with the path as it is now and then
    // whenever it may have changed.
    virtual void start(Observer observer) = 0;
    // Once it returns, the observer is not called again.
    virtual void stop() = 0;
};

}  // namespace tarnwick
