#include "WorkerPool.h"

#include <chrono>
#include <cstdio>
#include <pthread.h>
#include <thread>

namespace tarnwick {

namespace {

constexpr std::size_t kMaximumThreads = 256;
constexpr auto kIdleLifetime = std::chrono::seconds(10);

}  // namespace

WorkerPool& WorkerPool::shared() {
    // Never destroyed: detached workers may still touch it while the process exits.
    static auto* pool = new WorkerPool;
    return *pool;
}

void WorkerPool::submit(std::function<void()> job) {
    std::unique_lock lock(m_mutex);
    m_jobs.push_back(std::move(job));
    if (m_idle >= m_jobs.size()) {
        lock.unlock();
        m_jobArrived.notify_one();
        return;
    }
    if (m_threads < kMaximumThreads) {
        ++m_threads;
        lock.unlock();
        try {
            std::thread([this] { workerLoop(); }).detach();
        } catch (const std::system_error& error) {
            // Existing workers will still pick the job up.
            std::fprintf(stderr, "WorkerPool: could not start a thread: %s\n", error.what());
            std::lock_guard relock(m_mutex);
            --m_threads;
        }
    }
}

void WorkerPool::workerLoop() {
    // Named so that a look at a process's threads tells the pool's from the long-lived ones.
    ::pthread_setname_np(::pthread_self(), kThreadName);
    std::unique_lock lock(m_mutex);
    for (;;) {
        if (m_jobs.empty()) {
            ++m_idle;
            const bool arrived =
                m_jobArrived.wait_for(lock, kIdleLifetime, [this] { return !m_jobs.empty(); });
            --m_idle;
            if (!arrived) {
                --m_threads;
                return;
            }
        }
        auto job = std::move(m_jobs.front());
        m_jobs.pop_front();
        lock.unlock();
        job();
        job = nullptr;  // captured state is released outside the lock
        lock.lock();
    }
}

}  // namespace tarnwick
