#include "Timer.h"

namespace tarnwick {

Timer::Timer(Scheduler::Duration interval, bool repeats, Block block,
             std::shared_ptr<DispatchQueue> queue, Scheduler& scheduler)
    : m_interval(interval)
    , m_repeats(repeats)
    , m_block(std::move(block))
    , m_queue(std::move(queue))
    , m_scheduler(scheduler) {}

std::shared_ptr<Timer> Timer::scheduledTimer(Scheduler::Duration interval, bool repeats,
                                             Block block, std::shared_ptr<DispatchQueue> queue,
                                             Scheduler& scheduler) {
    auto timer =
        std::make_shared<Timer>(interval, repeats, std::move(block), std::move(queue), scheduler);
    timer->scheduleNext(scheduler.now() + interval);
    return timer;
}

void Timer::scheduleNext(Scheduler::TimePoint deadline) {
    m_scheduler.schedule(deadline, [self = shared_from_this(), deadline] {
        if (!self->isValid()) {
            return;
        }
        self->m_queue->async([self, deadline] { self->tick(deadline); });
    });
}

void Timer::fire() {
    if (!isValid()) {
        return;
    }
    if (!m_repeats) {
        m_valid = false;
    }
    m_block(*this);
}

void Timer::tick(Scheduler::TimePoint deadline) {
    if (!isValid()) {
        return;
    }
    if (!m_repeats) {
        m_valid = false;
    }
    m_block(*this);
    if (m_repeats && isValid()) {
        // A late tick does not make the timer catch up with a burst of ticks.
        auto next = deadline + m_interval;
        const auto now = m_scheduler.now();
        if (next <= now) {
            next = now + m_interval;
        }
        scheduleNext(next);
    }
}

}  // namespace tarnwick
