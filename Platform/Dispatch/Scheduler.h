#pragma once

#include <chrono>
#include <functional>

namespace tarnwick {

// Decides when delayed work fires. Production code uses the system scheduler, which keeps real
// time on a timer thread; tests pass a ManualScheduler and move its clock by hand, so delayed
// steps run without sleeping.
class Scheduler {
public:
    using Clock = std::chrono::steady_clock;
    using TimePoint = Clock::time_point;
    using Duration = Clock::duration;

    virtual ~Scheduler() = default;

    virtual TimePoint now() const = 0;

    // Calls `task` once, at or after `deadline`, on a thread of the scheduler's choosing. The task
    // is expected to hand the real work on to a queue and return at once.
    virtual void schedule(TimePoint deadline, std::function<void()> task) = 0;

    static Scheduler& system();
    // Joins the system scheduler's timer thread; tasks not yet due never run, and later ones are
    // dropped. For the process's end, after the work that schedules has stopped.
    static void stopSystem();
};

}  // namespace tarnwick
