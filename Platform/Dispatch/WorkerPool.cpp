#include "WorkerPool.h"

#include <cstdio>
#include <pthread.h>
#include <system_error>

namespace tarnwick {

namespace {

constexpr std::size_t kMaximumThreads = 256;
constexpr auto kIdleLifetime = std::chrono::seconds(10);

}  // namespace

WorkerPool& WorkerPool::shared() {
    // Never destroyed: a job may still run while static objects go; the process's end stops it
    // first (see stop()).
    static auto* pool = new WorkerPool;
    return *pool;
}

WorkerPool::~WorkerPool() {
    (void)stop();
}

void WorkerPool::submit(std::function<void()> job) {
    std::unique_lock lock(m_mutex);
    joinRetired(lock);
    if (m_stopping && m_workers.empty()) {
        lock.unlock();
        job = nullptr;  // captured state is released outside the lock
        return;
    }
    m_jobs.push_back(std::move(job));
    if (m_idle >= m_jobs.size() || m_workers.size() >= kMaximumThreads) {
        lock.unlock();
        m_jobArrived.notify_one();
        return;
    }
    try {
        // Started under the lock: the worker waits for it, so it finds itself among m_workers.
        std::thread worker([this] { workerLoop(); });
        const auto id = worker.get_id();
        m_workers.emplace(id, std::move(worker));
    } catch (const std::system_error& error) {
        // Existing workers will still pick the job up.
        std::fprintf(stderr, "WorkerPool: could not start a thread: %s\n", error.what());
    }
}

void WorkerPool::workerLoop() {
    // Named so that a look at a process's threads tells the pool's from the long-lived ones.
    ::pthread_setname_np(::pthread_self(), kThreadName);
    std::unique_lock lock(m_mutex);
    for (;;) {
        if (m_jobs.empty()) {
            if (m_stopping) {
                retire();
                return;
            }
            ++m_idle;
            const bool woken = m_jobArrived.wait_for(
                lock, kIdleLifetime, [this] { return !m_jobs.empty() || m_stopping; });
            --m_idle;
            if (!woken) {
                retire();
                return;
            }
            continue;
        }
        auto job = std::move(m_jobs.front());
        m_jobs.pop_front();
        lock.unlock();
        job();
        job = nullptr;  // captured state is released outside the lock
        lock.lock();
    }
}

void WorkerPool::retire() {
    const auto self = m_workers.find(std::this_thread::get_id());
    if (self != m_workers.end()) {
        m_retired.push_back(std::move(self->second));
        m_workers.erase(self);
    }
    m_workerRetired.notify_all();
}

void WorkerPool::joinRetired(std::unique_lock<std::mutex>& lock) {
    if (m_retired.empty()) {
        return;
    }
    auto retired = std::move(m_retired);
    m_retired.clear();
    // A retired worker only has to leave workerLoop, which needs the lock no more.
    lock.unlock();
    for (auto& thread : retired) {
        thread.join();
    }
    lock.lock();
}

bool WorkerPool::stop(std::chrono::milliseconds limit) {
    std::unique_lock lock(m_mutex);
    if (m_workers.contains(std::this_thread::get_id())) {
        return false;  // a job cannot wait for its own worker
    }
    m_stopping = true;
    m_jobArrived.notify_all();
    const auto allGone = [this] { return m_workers.empty(); };
    bool finished = true;
    if (limit == std::chrono::milliseconds::max()) {
        m_workerRetired.wait(lock, allGone);
    } else {
        finished = m_workerRetired.wait_for(lock, limit, allGone);
    }
    joinRetired(lock);
    // Jobs nobody will run any more go with their captured state, outside the lock.
    auto dropped = std::move(m_jobs);
    m_jobs.clear();
    lock.unlock();
    dropped.clear();
    return finished;
}

std::size_t WorkerPool::threadCount() const {
    std::lock_guard lock(m_mutex);
    return m_workers.size();
}

}  // namespace tarnwick
