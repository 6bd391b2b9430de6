#pragma once

#include "Scheduler.h"

#include <atomic>
#include <functional>

namespace tarnwick {

// Drains the main queue on the main thread where no GUI event loop does: in the extension and in
// tests. Every wait has a deadline, so a test never hangs on work that does not come.
class RunLoop {
public:
    static RunLoop& main();

    // Runs main-queue work until `condition` holds (checked before each wait). False when the
    // time-out passed first.
    bool runUntil(const std::function<bool()>& condition, Scheduler::Duration timeout);
    // Runs main-queue work for the given time.
    void runFor(Scheduler::Duration duration);
    // Runs main-queue work until `stop` is called, from any thread.
    void run();
    void stop();

private:
    RunLoop() = default;
    std::atomic<bool> m_stopRequested{false};
};

}  // namespace tarnwick
