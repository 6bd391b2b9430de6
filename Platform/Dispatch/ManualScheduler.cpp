#include "ManualScheduler.h"

namespace tarnwick {

Scheduler::TimePoint ManualScheduler::now() const {
    std::lock_guard lock(m_mutex);
    return m_now;
}

void ManualScheduler::schedule(TimePoint deadline, std::function<void()> task) {
    std::lock_guard lock(m_mutex);
    m_entries.push(Entry{deadline, m_nextOrder++, std::move(task)});
}

void ManualScheduler::advance(Duration by) {
    std::unique_lock lock(m_mutex);
    const TimePoint target = m_now + by;
    while (!m_entries.empty() && m_entries.top().deadline <= target) {
        auto entry = std::move(const_cast<Entry&>(m_entries.top()));
        m_entries.pop();
        if (entry.deadline > m_now) {
            m_now = entry.deadline;
        }
        lock.unlock();
        entry.task();
        lock.lock();
    }
    m_now = target;
}

std::size_t ManualScheduler::pendingCount() const {
    std::lock_guard lock(m_mutex);
    return m_entries.size();
}

}  // namespace tarnwick
