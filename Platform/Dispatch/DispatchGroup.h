#pragma once

#include <chrono>
#include <condition_variable>
#include <functional>
#include <memory>
#include <mutex>
#include <vector>

namespace tarnwick {

class DispatchQueue;

// Counts outstanding work; waiters and notify blocks run once the count is back at zero.
class DispatchGroup {
public:
    void enter();
    void leave();

    // True when every entered piece of work left before the time-out ran out.
    bool wait(std::chrono::steady_clock::duration timeout);
    void wait();

    // Runs `block` on `queue` once the group is empty (at once when it already is).
    void notify(const std::shared_ptr<DispatchQueue>& queue, std::function<void()> block);

private:
    std::mutex m_mutex;
    std::condition_variable m_emptied;
    long m_count = 0;
    std::vector<std::pair<std::shared_ptr<DispatchQueue>, std::function<void()>>> m_notifications;
};

}  // namespace tarnwick
