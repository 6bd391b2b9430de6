#include "UserFairQueue.h"

#include <algorithm>

namespace tarnwick {

UserFairQueue::UserFairQueue(std::size_t threads) {
    for (std::size_t i = 0; i < std::max<std::size_t>(threads, 1); ++i) {
        m_threads.emplace_back([this](const std::stop_token& stop) { run(stop); });
    }
}

UserFairQueue::~UserFairQueue() {
    stop();
}

void UserFairQueue::post(uid_t user, std::function<void()> work) {
    {
        std::lock_guard lock(m_mutex);
        if (m_stopped) {
            return;
        }
        m_queues[user].push_back(std::move(work));
    }
    m_ready.notify_one();
}

void UserFairQueue::stop() {
    decltype(m_queues) dropped;
    {
        std::lock_guard lock(m_mutex);
        m_stopped = true;
        dropped.swap(m_queues);
    }
    // Destroyed outside the lock: what an item holds may post on its way out.
    dropped.clear();
    for (auto& thread : m_threads) {
        thread.request_stop();
    }
    for (auto& thread : m_threads) {
        if (thread.joinable()) {
            thread.join();
        }
    }
}

void UserFairQueue::run(const std::stop_token& stop) {
    // A user's next item, round the circle in order of user id from the one served last; none
    // whose item runs already.
    const auto nextUser = [this] {
        auto start = m_served ? m_queues.upper_bound(m_lastServed) : m_queues.begin();
        for (auto user = start; user != m_queues.end(); ++user) {
            if (m_running.count(user->first) == 0) {
                return user;
            }
        }
        for (auto user = m_queues.begin(); user != start; ++user) {
            if (m_running.count(user->first) == 0) {
                return user;
            }
        }
        return m_queues.end();
    };
    for (;;) {
        std::function<void()> work;
        uid_t user = 0;
        {
            std::unique_lock lock(m_mutex);
            auto next = m_queues.end();
            if (!m_ready.wait(lock, stop, [&] { return (next = nextUser()) != m_queues.end(); }) ||
                m_stopped) {
                return;
            }
            user = next->first;
            work = std::move(next->second.front());
            next->second.pop_front();
            m_lastServed = user;
            m_served = true;
            m_running.insert(user);
            if (next->second.empty()) {
                m_queues.erase(next);
            }
        }
        work();
        // The user's next item, if any, is this thread's to take: no other needs waking.
        std::lock_guard lock(m_mutex);
        m_running.erase(user);
    }
}

}  // namespace tarnwick
