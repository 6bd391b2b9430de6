#pragma once

#include <condition_variable>
#include <cstddef>
#include <deque>
#include <functional>
#include <map>
#include <mutex>
#include <set>
#include <stop_token>
#include <sys/types.h>
#include <thread>
#include <vector>

namespace tarnwick {

// Runs work on threads of its own, taking users in turn: each user's items run one at a time, in
// the order they came, and an item of one user waits behind at most one item of each other user,
// however many those have queued. So one user's expensive work cannot hold up another's, and
// with several threads takes at most one of them. Items left when the queue stops are dropped
// without running.
class UserFairQueue {
public:
    explicit UserFairQueue(std::size_t threads = 1);
    ~UserFairQueue();
    UserFairQueue(const UserFairQueue&) = delete;
    UserFairQueue& operator=(const UserFairQueue&) = delete;

    // Dropped once the queue has stopped.
    void post(uid_t user, std::function<void()> work);
    // Drops the items that wait, waits for those that run, then ends the threads.
    void stop();

private:
    void run(const std::stop_token& stop);

    std::mutex m_mutex;
    std::condition_variable_any m_ready;
    std::map<uid_t, std::deque<std::function<void()>>> m_queues;
    std::set<uid_t> m_running;  // users whose item runs now
    uid_t m_lastServed = 0;
    bool m_served = false;
    bool m_stopped = false;
    std::vector<std::jthread> m_threads;
};

}  // namespace tarnwick
