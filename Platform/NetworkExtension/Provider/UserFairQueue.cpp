#include "UserFairQueue.h"

namespace tarnwick {

UserFairQueue::UserFairQueue() : m_thread([this](const std::stop_token& stop) { run(stop); }) {}

UserFairQueue::~UserFairQueue() {
    stop();
}

void UserFairQueue::post(uid_t user, std::function<void()> work) {
    {
        std::lock_guard lock(m_mutex);
        m_queues[user].push_back(std::move(work));
    }
    m_ready.notify_one();
}

void UserFairQueue::stop() {
    if (!m_thread.joinable()) {
        return;
    }
    m_thread.request_stop();
    m_thread.join();
    std::lock_guard lock(m_mutex);
    m_queues.clear();
}

void UserFairQueue::run(const std::stop_token& stop) {
    for (;;) {
        std::function<void()> work;
        {
            std::unique_lock lock(m_mutex);
            if (!m_ready.wait(lock, stop, [this] { return !m_queues.empty(); })) {
                return;
            }
            // The next user after the one served last, in order of user id, round the circle.
            auto next = m_served ? m_queues.upper_bound(m_lastServed) : m_queues.begin();
            if (next == m_queues.end()) {
                next = m_queues.begin();
            }
            work = std::move(next->second.front());
            next->second.pop_front();
            m_lastServed = next->first;
            m_served = true;
            if (next->second.empty()) {
                m_queues.erase(next);
            }
        }
        work();
    }
}

}  // namespace tarnwick
