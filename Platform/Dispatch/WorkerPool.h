#pragma once

#include <condition_variable>
#include <cstddef>
#include <deque>
#include <functional>
#include <mutex>

namespace tarnwick {

// The threads behind every queue. It grows when all workers are busy (blocks may wait on each
// other through `sync`, so a fixed-size pool could starve), up to a cap, and lets idle workers go
// after a while. The pool lives until the process ends; its threads are detached.
class WorkerPool {
public:
    // The name every worker thread carries (at most 15 characters, as the kernel keeps them).
    static constexpr const char* kThreadName = "dispatch-worker";

    static WorkerPool& shared();

    void submit(std::function<void()> job);

private:
    WorkerPool() = default;
    void workerLoop();

    std::mutex m_mutex;
    std::condition_variable m_jobArrived;
    std::deque<std::function<void()>> m_jobs;
    std::size_t m_threads = 0;
    std::size_t m_idle = 0;
};

}  // namespace tarnwick
