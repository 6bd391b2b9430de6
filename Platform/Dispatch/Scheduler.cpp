#include "Scheduler.h"

#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <queue>
#include <thread>
#include <vector>

namespace tarnwick {

namespace {

// Real time on one timer thread. Tasks only hand work to queues, so one thread is enough.
class SystemScheduler final : public Scheduler {
public:
    SystemScheduler() {
        std::thread([this] { run(); }).detach();
    }

    TimePoint now() const override { return Clock::now(); }

    void schedule(TimePoint deadline, std::function<void()> task) override {
        {
            std::lock_guard lock(m_mutex);
            m_entries.push(Entry{deadline, m_nextOrder++, std::move(task)});
        }
        m_changed.notify_one();
    }

private:
    struct Entry {
        TimePoint deadline;
        std::uint64_t order;
        std::function<void()> task;
    };
    struct Later {
        bool operator()(const Entry& a, const Entry& b) const {
            return a.deadline != b.deadline ? a.deadline > b.deadline : a.order > b.order;
        }
    };

    void run() {
        std::unique_lock lock(m_mutex);
        for (;;) {
            if (m_entries.empty()) {
                m_changed.wait(lock);
                continue;
            }
            const TimePoint next = m_entries.top().deadline;
            if (Clock::now() < next) {
                m_changed.wait_until(lock, next);
                continue;
            }
            auto task = std::move(const_cast<Entry&>(m_entries.top()).task);
            m_entries.pop();
            lock.unlock();
            task();
            task = nullptr;
            lock.lock();
        }
    }

    std::mutex m_mutex;
    std::condition_variable m_changed;
    std::uint64_t m_nextOrder = 0;
    std::priority_queue<Entry, std::vector<Entry>, Later> m_entries;
};

}  // namespace

Scheduler& Scheduler::system() {
    // Never destroyed: its detached thread outlives static destruction.
    static auto* scheduler = new SystemScheduler;
    return *scheduler;
}

}  // namespace tarnwick
