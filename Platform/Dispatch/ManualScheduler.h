#pragma once

#include "Scheduler.h"
#include "TimerHeap.h"

#include <mutex>

namespace tarnwick {

// A scheduler whose clock only moves when told to. Due tasks fire on the thread that advances the
// clock, in deadline order (ties in the order they were scheduled), including tasks that a firing
// task schedules within the advanced window.
// Used for testing only
class ManualScheduler final : public Scheduler {
public:
    TimePoint now() const override;
    void schedule(TimePoint deadline, std::function<void()> task) override;

    void advance(Duration by);
    // The number of tasks that have not fired yet.
    std::size_t pendingCount() const;

private:
    mutable std::mutex m_mutex;
    TimePoint m_now{};
    TimerHeap m_timers;
};

}  // namespace tarnwick
