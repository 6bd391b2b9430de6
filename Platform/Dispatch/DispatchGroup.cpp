#include "DispatchGroup.h"

#include "DispatchQueue.h"

#include <cassert>

namespace tarnwick {

void DispatchGroup::enter() {
    std::lock_guard lock(m_mutex);
    ++m_count;
}

void DispatchGroup::leave() {
    std::vector<std::pair<std::shared_ptr<DispatchQueue>, std::function<void()>>> due;
    {
        std::lock_guard lock(m_mutex);
        assert(m_count > 0 && "DispatchGroup::leave without enter");
        if (m_count == 0) {
            return;
        }
        if (--m_count > 0) {
            return;
        }
        due.swap(m_notifications);
        // Under the lock: a waiter may destroy the group as soon as it sees the count at zero.
        m_emptied.notify_all();
    }
    for (auto& [queue, block] : due) {
        queue->async(std::move(block));
    }
}

bool DispatchGroup::wait(std::chrono::steady_clock::duration timeout) {
    std::unique_lock lock(m_mutex);
    return m_emptied.wait_for(lock, timeout, [this] { return m_count == 0; });
}

void DispatchGroup::wait() {
    std::unique_lock lock(m_mutex);
    m_emptied.wait(lock, [this] { return m_count == 0; });
}

void DispatchGroup::notify(const std::shared_ptr<DispatchQueue>& queue,
                           std::function<void()> block) {
    {
        std::lock_guard lock(m_mutex);
        if (m_count > 0) {
            m_notifications.emplace_back(queue, std::move(block));
            return;
        }
    }
    queue->async(std::move(block));
}

}  // namespace tarnwick
