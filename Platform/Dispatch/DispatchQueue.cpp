#include "DispatchQueue.h"

#include "DispatchGroup.h"
#include "DispatchWorkItem.h"
#include "WorkerPool.h"

#include <algorithm>
#include <cassert>
#include <thread>
#include <vector>

namespace tarnwick {

namespace {

// Static initialisation runs on the main thread, so this records it.
const std::thread::id g_mainThreadId = std::this_thread::get_id();

// The queues this thread runs blocks of, innermost last. A block that runs on behalf of a thread
// waiting in `sync` inherits that thread's queues, so a nested `sync` back into any of them runs
// in place instead of waiting for itself.
thread_local std::vector<const DispatchQueue*> t_heldQueues;

class HeldQueues {
public:
    HeldQueues(const std::vector<const DispatchQueue*>& inherited, const DispatchQueue* queue)
        : m_depth(t_heldQueues.size()) {
        t_heldQueues.insert(t_heldQueues.end(), inherited.begin(), inherited.end());
        t_heldQueues.push_back(queue);
    }
    ~HeldQueues() { t_heldQueues.resize(m_depth); }
    HeldQueues(const HeldQueues&) = delete;
    HeldQueues& operator=(const HeldQueues&) = delete;

private:
    std::size_t m_depth;
};

// Waits for one block that another thread runs for a `sync` caller.
struct SyncCompletion {
    std::mutex mutex;
    std::condition_variable done;
    bool finished = false;
    std::exception_ptr error;
};

}  // namespace

bool isMainThread() {
    return std::this_thread::get_id() == g_mainThreadId;
}

struct DispatchQueue::Task {
    std::function<void()> block;
    std::vector<const DispatchQueue*> inherited;
};

DispatchQueue::DispatchQueue(std::string label, QualityOfService qos, Kind kind)
    : m_label(std::move(label)), m_qos(qos), m_kind(kind) {}

DispatchQueue::~DispatchQueue() = default;

std::shared_ptr<DispatchQueue> DispatchQueue::create(std::string label, QualityOfService qos,
                                                     Attributes attributes) {
    return std::make_shared<DispatchQueue>(
        std::move(label), qos, attributes == Attributes::serial ? Kind::serial : Kind::concurrent);
}

const std::shared_ptr<DispatchQueue>& DispatchQueue::main() {
    // Never destroyed: blocks may be queued to it while the process exits.
    static auto* queue = new std::shared_ptr<DispatchQueue>(std::make_shared<DispatchQueue>(
        "main-thread", QualityOfService::userInteractive, Kind::main));
    return *queue;
}

const std::shared_ptr<DispatchQueue>& DispatchQueue::global(QualityOfService qos) {
    static auto* queues = [] {
        auto* all = new std::vector<std::shared_ptr<DispatchQueue>>;
        for (auto q : {QualityOfService::userInteractive, QualityOfService::userInitiated,
                       QualityOfService::standard, QualityOfService::utility,
                       QualityOfService::background, QualityOfService::unspecified}) {
            all->push_back(std::make_shared<DispatchQueue>(
                "global." + std::string(qualityOfServiceName(q)), q, Kind::concurrent));
        }
        return all;
    }();
    return (*queues)[static_cast<std::size_t>(qos)];
}

std::optional<std::string> DispatchQueue::currentLabel() {
    if (t_heldQueues.empty()) {
        return std::nullopt;
    }
    return t_heldQueues.back()->label();
}

bool DispatchQueue::isCurrent() const {
    return std::find(t_heldQueues.begin(), t_heldQueues.end(), this) != t_heldQueues.end();
}

void DispatchQueue::async(std::function<void()> block) {
    enqueue(Task{std::move(block), {}});
}

void DispatchQueue::async(const std::shared_ptr<DispatchWorkItem>& item) {
    async([item] { item->perform(); });
}

void DispatchQueue::async(DispatchGroup& group, std::function<void()> block) {
    group.enter();
    async([&group, block = std::move(block)] {
        block();
        group.leave();
    });
}

void DispatchQueue::enqueue(Task task) {
    switch (m_kind) {
        case Kind::concurrent: {
            WorkerPool::shared().submit(
                [self = shared_from_this(), task = std::move(task)]() mutable {
                    self->runTask(task);
                });
            return;
        }
        case Kind::serial: {
            std::unique_lock lock(m_mutex);
            m_tasks.push_back(std::move(task));
            if (m_running) {
                return;
            }
            m_running = true;
            lock.unlock();
            scheduleDrain();
            return;
        }
        case Kind::main: {
            std::function<void()> wakeUp;
            {
                std::lock_guard lock(m_mutex);
                m_tasks.push_back(std::move(task));
                if (!m_wakePending && m_wakeUp) {
                    m_wakePending = true;
                    wakeUp = m_wakeUp;
                }
            }
            m_workArrived.notify_all();
            if (wakeUp) {
                wakeUp();
            }
            return;
        }
    }
}

void DispatchQueue::runTask(Task& task) {
    HeldQueues held(task.inherited, this);
    task.block();
}

void DispatchQueue::scheduleDrain() {
    WorkerPool::shared().submit([self = shared_from_this()] { self->drainSerial(); });
}

void DispatchQueue::drainSerial() {
    // Runs a bounded batch, then gives the worker back, so one busy queue cannot hold a thread
    // forever while others wait.
    constexpr int kBatch = 64;
    for (int ran = 0; ran < kBatch; ++ran) {
        std::unique_lock lock(m_mutex);
        if (m_tasks.empty()) {
            m_running = false;
            return;
        }
        Task task = std::move(m_tasks.front());
        m_tasks.pop_front();
        lock.unlock();
        runTask(task);
    }
    scheduleDrain();
}

bool DispatchQueue::tryClaimIdle() {
    std::lock_guard lock(m_mutex);
    if (m_running || !m_tasks.empty()) {
        return false;
    }
    m_running = true;
    return true;
}

void DispatchQueue::releaseClaim() {
    std::unique_lock lock(m_mutex);
    if (m_tasks.empty()) {
        m_running = false;
        return;
    }
    lock.unlock();
    scheduleDrain();
}

void DispatchQueue::sync(std::function<void()> block) {
    if (isCurrent() || m_kind == Kind::concurrent || (m_kind == Kind::main && isMainThread())) {
        HeldQueues held({}, this);
        block();
        return;
    }
    if (m_kind == Kind::serial && tryClaimIdle()) {
        struct Release {
            DispatchQueue* queue;
            ~Release() { queue->releaseClaim(); }
        } release{this};
        HeldQueues held({}, this);
        block();
        return;
    }
    auto completion = std::make_shared<SyncCompletion>();
    enqueue(Task{[&block, completion] {
                     try {
                         block();
                     } catch (...) {
                         completion->error = std::current_exception();
                     }
                     {
                         std::lock_guard lock(completion->mutex);
                         completion->finished = true;
                     }
                     completion->done.notify_all();
                 },
                 t_heldQueues});
    std::unique_lock lock(completion->mutex);
    completion->done.wait(lock, [&] { return completion->finished; });
    if (completion->error) {
        std::rethrow_exception(completion->error);
    }
}

void DispatchQueue::asyncAfter(Scheduler::Duration delay, std::function<void()> block,
                               Scheduler& scheduler) {
    asyncAfterDeadline(scheduler.now() + delay, std::move(block), scheduler);
}

void DispatchQueue::asyncAfter(Scheduler::Duration delay,
                               const std::shared_ptr<DispatchWorkItem>& item,
                               Scheduler& scheduler) {
    asyncAfter(
        delay, [item] { item->perform(); }, scheduler);
}

void DispatchQueue::asyncAfterDeadline(Scheduler::TimePoint deadline, std::function<void()> block,
                                       Scheduler& scheduler) {
    scheduler.schedule(deadline, [self = shared_from_this(), block = std::move(block)]() mutable {
        self->async(std::move(block));
    });
}

std::size_t DispatchQueue::drainMain() {
    assert(m_kind == Kind::main && isMainThread());
    std::deque<Task> batch;
    {
        std::lock_guard lock(m_mutex);
        m_wakePending = false;
        batch.swap(m_tasks);
    }
    // Blocks queued while this batch runs wait for the next drain, so an event loop gets its turn.
    std::size_t ran = 0;
    while (!batch.empty()) {
        Task task = std::move(batch.front());
        batch.pop_front();
        runTask(task);
        ++ran;
    }
    return ran;
}

void DispatchQueue::setMainWakeUpHandler(std::function<void()> handler) {
    bool wakeNow = false;
    {
        std::lock_guard lock(m_mutex);
        m_wakeUp = std::move(handler);
        m_wakePending = false;
        if (m_wakeUp && !m_tasks.empty()) {
            m_wakePending = true;
            wakeNow = true;
        }
    }
    if (wakeNow) {
        m_wakeUp();
    }
}

bool DispatchQueue::waitForMainWork(Scheduler::TimePoint deadline) {
    std::unique_lock lock(m_mutex);
    return m_workArrived.wait_until(lock, deadline, [this] { return !m_tasks.empty(); });
}

}  // namespace tarnwick
