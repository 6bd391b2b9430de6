#include "ManualScheduler.h"

namespace tarnwick {

Scheduler::TimePoint ManualScheduler::now() const {
    std::lock_guard lock(m_mutex);
    return m_now;
}

void ManualScheduler::schedule(TimePoint deadline, std::function<void()> task) {
    std::lock_guard lock(m_mutex);
    m_timers.push(deadline, std::move(task));
}

void ManualScheduler::advance(Duration by) {
    std::unique_lock lock(m_mutex);
    const TimePoint target = m_now + by;
    while (!m_timers.empty() && m_timers.nextDeadline() <= target) {
        auto timer = m_timers.pop();
        if (timer.deadline > m_now) {
            m_now = timer.deadline;
        }
        lock.unlock();
        timer.task();
        lock.lock();
    }
    m_now = target;
}

std::size_t ManualScheduler::pendingCount() const {
    std::lock_guard lock(m_mutex);
    return m_timers.size();
}

}  // namespace tarnwick
