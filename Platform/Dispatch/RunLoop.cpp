#include "RunLoop.h"

#include "DispatchQueue.h"

#include <algorithm>
#include <cassert>

namespace tarnwick {

namespace {

constexpr auto kConditionPollInterval = std::chrono::milliseconds(5);

}  // namespace

RunLoop& RunLoop::main() {
    static RunLoop loop;
    return loop;
}

bool RunLoop::runUntil(const std::function<bool()>& condition, Scheduler::Duration timeout) {
    assert(isMainThread());
    const auto deadline = Scheduler::Clock::now() + timeout;
    auto& queue = *DispatchQueue::main();
    for (;;) {
        queue.drainMain();
        if (condition()) {
            return true;
        }
        if (Scheduler::Clock::now() >= deadline) {
            return false;
        }
        // The condition may also turn true through other threads, which do not wake the main
        // queue, so it is checked again at least every few milliseconds.
        // Whether work came or time passed, the loop looks at both again.
        (void)queue.waitForMainWork(
            std::min(deadline, Scheduler::Clock::now() + kConditionPollInterval));
    }
}

void RunLoop::runFor(Scheduler::Duration duration) {
    // A condition that never holds: the answer is always "the time ran out".
    (void)runUntil([] { return false; }, duration);
}

void RunLoop::run() {
    assert(isMainThread());
    m_stopRequested = false;
    auto& queue = *DispatchQueue::main();
    while (!m_stopRequested) {
        queue.drainMain();
        if (m_stopRequested) {
            break;
        }
        // Drained again either way; the time-out only bounds how long a stop may go unseen.
        (void)queue.waitForMainWork(Scheduler::Clock::now() + std::chrono::seconds(1));
    }
}

void RunLoop::stop() {
    m_stopRequested = true;
    // Wakes a loop that waits for work.
    DispatchQueue::main()->async([] {});
}

}  // namespace tarnwick
