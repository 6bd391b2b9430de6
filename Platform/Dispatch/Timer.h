#pragma once

#include "DispatchQueue.h"
#include "Scheduler.h"

#include <atomic>
#include <functional>
#include <memory>

namespace tarnwick {

// A one-shot or repeating timer whose block runs on a queue (the main queue unless told
// otherwise). A scheduled timer keeps itself alive until it is invalidated or, when it does not
// repeat, until it has fired.
class Timer : public std::enable_shared_from_this<Timer> {
public:
    using Block = std::function<void(Timer&)>;

    static std::shared_ptr<Timer> scheduledTimer(
        Scheduler::Duration interval, bool repeats, Block block,
        std::shared_ptr<DispatchQueue> queue = DispatchQueue::main(),
        Scheduler& scheduler = Scheduler::system());

    // Runs the block now, outside the schedule; a repeating timer keeps its schedule.
    void fire();
    void invalidate() { m_valid = false; }
    bool isValid() const { return m_valid; }
    Scheduler::Duration timeInterval() const { return m_interval; }

    Timer(Scheduler::Duration interval, bool repeats, Block block,
          std::shared_ptr<DispatchQueue> queue, Scheduler& scheduler);

private:
    void scheduleNext(Scheduler::TimePoint deadline);
    void tick(Scheduler::TimePoint deadline);

    const Scheduler::Duration m_interval;
    const bool m_repeats;
    Block m_block;
    std::shared_ptr<DispatchQueue> m_queue;
    Scheduler& m_scheduler;
    std::atomic<bool> m_valid{true};
};

}  // namespace tarnwick
