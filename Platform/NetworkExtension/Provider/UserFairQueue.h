#pragma once

#include <condition_variable>
#include <cstddef>
#include <deque>
#include <functional>
#include <map>
#include <mutex>
#include <stop_token>
#include <sys/types.h>
#include <thread>

namespace tarnwick {

// Runs work one item at a time on a thread of its own, taking users in turn: each user's items
// run in the order they came, and an item of one user waits behind at most one item of each
// other user, however many those have queued. So one user's expensive work cannot hold up
// another's. Items left when the queue stops are dropped without running.
class UserFairQueue {
public:
    UserFairQueue();
    ~UserFairQueue();
    UserFairQueue(const UserFairQueue&) = delete;
    UserFairQueue& operator=(const UserFairQueue&) = delete;

    void post(uid_t user, std::function<void()> work);
    // Waits for the item that runs, then ends the thread.
    void stop();

private:
    void run(const std::stop_token& stop);

    std::mutex m_mutex;
    std::condition_variable_any m_ready;
    std::map<uid_t, std::deque<std::function<void()>>> m_queues;
    uid_t m_lastServed = 0;
    bool m_served = false;
    std::jthread m_thread;
};

}  // namespace tarnwick
