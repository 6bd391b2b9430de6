#pragma once

#include "QualityOfService.h"
#include "Scheduler.h"

#include <condition_variable>
#include <deque>
#include <exception>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <type_traits>

namespace tarnwick {

class DispatchGroup;
class DispatchWorkItem;

// A queue of blocks. Serial queues run one block at a time, in order; concurrent queues run their
// blocks side by side on the shared worker pool. The main queue is serial and runs only on the main
// thread, drained by the application's event loop or by a RunLoop.
//
// `sync` never deadlocks on a queue that the calling thread already runs (directly, or because it
// waits in `sync` for a block that runs it): the block then runs in place.
class DispatchQueue : public std::enable_shared_from_this<DispatchQueue> {
public:
    enum class Attributes { serial, concurrent };

    static std::shared_ptr<DispatchQueue> create(std::string label,
                                                 QualityOfService qos = QualityOfService::standard,
                                                 Attributes attributes = Attributes::serial);

    static const std::shared_ptr<DispatchQueue>& main();
    static const std::shared_ptr<DispatchQueue>& global(
        QualityOfService qos = QualityOfService::standard);

    // The label of the queue whose block runs on this thread, or nothing outside any queue.
    static std::optional<std::string> currentLabel();
    // Whether this thread runs a block of this queue right now (or holds it through `sync`).
    bool isCurrent() const;

    const std::string& label() const { return m_label; }
    QualityOfService qos() const { return m_qos; }
    bool isSerial() const { return m_kind != Kind::concurrent; }

    void async(std::function<void()> block);
    void async(const std::shared_ptr<DispatchWorkItem>& item);
    void async(DispatchGroup& group, std::function<void()> block);

    // Runs the block on this queue and waits for it. An exception it throws reaches the caller.
    void sync(std::function<void()> block);
    template <typename F>
    requires(!std::is_void_v<std::invoke_result_t<F>>) std::invoke_result_t<F> sync(F&& block) {
        std::optional<std::invoke_result_t<F>> result;
        sync(std::function<void()>([&] { result.emplace(block()); }));
        return std::move(*result);
    }

    void asyncAfter(Scheduler::Duration delay, std::function<void()> block,
                    Scheduler& scheduler = Scheduler::system());
    void asyncAfter(Scheduler::Duration delay, const std::shared_ptr<DispatchWorkItem>& item,
                    Scheduler& scheduler = Scheduler::system());
    void asyncAfterDeadline(Scheduler::TimePoint deadline, std::function<void()> block,
                            Scheduler& scheduler = Scheduler::system());

    // Main queue only: runs the blocks queued so far on the calling (main) thread and returns how
    // many ran. Event loops call it when woken.
    std::size_t drainMain();
    // Main queue only: called, from any thread, when work arrives while no wake-up is pending. The
    // Qt application installs a handler that posts a drain to its event loop.
    void setMainWakeUpHandler(std::function<void()> handler);
    // Main queue only: waits until work is queued or the deadline passes; true when work is queued.
    bool waitForMainWork(Scheduler::TimePoint deadline);

    enum class Kind { serial, concurrent, main };
    DispatchQueue(std::string label, QualityOfService qos, Kind kind);
    ~DispatchQueue();

private:
    struct Task;

    void enqueue(Task task);
    void scheduleDrain();
    void drainSerial();
    void runTask(Task& task);
    bool tryClaimIdle();
    void releaseClaim();

    const std::string m_label;
    const QualityOfService m_qos;
    const Kind m_kind;

    std::mutex m_mutex;
    std::condition_variable m_workArrived;  // main queue only
    std::deque<Task> m_tasks;
    bool m_running = false;      // serial: a drain or an in-place sync holds the queue
    bool m_wakePending = false;  // main: the wake-up handler has been called and not drained yet
    std::function<void()> m_wakeUp;
};

// Whether the calling thread is the process's main thread.
bool isMainThread();

}  // namespace tarnwick
