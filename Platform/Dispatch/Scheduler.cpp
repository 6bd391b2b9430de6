#include "Scheduler.h"

#include "TimerHeap.h"

#include <condition_variable>
#include <mutex>
#include <thread>

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
            m_timers.push(deadline, std::move(task));
        }
        m_changed.notify_one();
    }

private:
    void run() {
        std::unique_lock lock(m_mutex);
        for (;;) {
            if (m_timers.empty()) {
                m_changed.wait(lock);
                continue;
            }
            const TimePoint next = m_timers.nextDeadline();
            if (Clock::now() < next) {
                m_changed.wait_until(lock, next);
                continue;
            }
            auto task = m_timers.pop().task;
            lock.unlock();
            task();
            task = nullptr;
            lock.lock();
        }
    }

    std::mutex m_mutex;
    std::condition_variable m_changed;
    TimerHeap m_timers;
};

}  // namespace

Scheduler& Scheduler::system() {
    // Never destroyed: its detached thread outlives static destruction.
    static auto* scheduler = new SystemScheduler;
    return *scheduler;
}

}  // namespace tarnwick
