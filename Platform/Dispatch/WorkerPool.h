#pragma once

#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <deque>
#include <functional>
#include <mutex>
#include <thread>
#include <unordered_map>
#include <vector>

namespace tarnwick {

// The threads behind every queue. It grows when all workers are busy (blocks may wait on each
// other through `sync`, so a fixed-size pool could starve), up to a cap, and lets idle workers go
// after a while. Every worker is joined: by the next `submit` once it has retired, or by `stop`.
class WorkerPool {
public:
    // The name every worker thread carries (at most 15 characters, as the kernel keeps them).
    static constexpr const char* kThreadName = "dispatch-worker";

    static WorkerPool& shared();

    WorkerPool() = default;
    // Stops with no limit: only a pool whose jobs all return may go.
    ~WorkerPool();
    WorkerPool(const WorkerPool&) = delete;
    WorkerPool& operator=(const WorkerPool&) = delete;

    // Runs `job` on a worker. Once the pool has stopped, the job is released without running.
    void submit(std::function<void()> job);

    // Lets the queued jobs run, including those they submit meanwhile, then joins every worker.
    // False when a job was still running after `limit` (its worker is left to the process's end)
    // or when called from a job of this pool. Later calls find nothing left to join.
    bool stop(std::chrono::milliseconds limit = std::chrono::milliseconds::max());

    // Workers alive now, busy or idle.
    std::size_t threadCount() const;

private:
    void workerLoop();
    // Called with the lock held by a worker about to return: the next submit or stop joins it.
    void retire();
    void joinRetired(std::unique_lock<std::mutex>& lock);

    mutable std::mutex m_mutex;
    std::condition_variable m_jobArrived;
    std::condition_variable m_workerRetired;
    std::deque<std::function<void()>> m_jobs;
    std::unordered_map<std::thread::id, std::thread> m_workers;
    std::vector<std::thread> m_retired;
    std::size_t m_idle = 0;
    bool m_stopping = false;
};

}  // namespace tarnwick
