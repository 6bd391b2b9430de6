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
    SystemScheduler() : m_thread([this] { run(); }) {}

    ~SystemScheduler() override { stop(); }

    TimePoint now() const override { return Clock::now(); }

    void schedule(TimePoint deadline, std::function<void()> task) override {
        {
            std::lock_guard lock(m_mutex);
            if (m_stopped) {
                return;  // the task goes with this frame, outside the lock
            }
            m_timers.push(deadline, std::move(task));
        }
        m_changed.notify_one();
    }

    void stop() {
        if (m_thread.get_id() == std::this_thread::get_id()) {
            return;  // a task cannot wait for the thread that runs it
        }
        TimerHeap pending;
        {
            std::lock_guard lock(m_mutex);
            m_stopped = true;
            std::swap(pending, m_timers);
        }
        m_changed.notify_one();
        if (m_thread.joinable()) {
            m_thread.join();
        }
    }

private:
    void run() {
        std::unique_lock lock(m_mutex);
        while (!m_stopped) {
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
    bool m_stopped = false;
    // Last: the thread starts once the members it uses exist.
    std::jthread m_thread;
};

SystemScheduler& systemScheduler() {
    // Never destroyed: tasks may still be scheduled while static objects go; the process's end
    // stops it first.
    static auto* scheduler = new SystemScheduler;
    return *scheduler;
}

}  // namespace

Scheduler& Scheduler::system() {
    return systemScheduler();
}

void Scheduler::stopSystem() {
    systemScheduler().stop();
}

}  // namespace tarnwick
