#pragma once

#include "Scheduler.h"

#include <cstdint>
#include <mutex>
#include <queue>
#include <vector>

namespace tarnwick {

// A scheduler whose clock only moves when told to. Due tasks fire on the thread that advances the
// clock, in deadline order (ties in the order they were scheduled), including tasks that a firing
// task schedules within the advanced window.
// Used for testing only
class ManualScheduler final : public Scheduler {
public:
    TimePoint now() const override;
    void schedule(TimePoint deadline, std::function<void()> task) override;

    void advance(Duration by);
    // The number of tasks that have not fired yet.
    std::size_t pendingCount() const;

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

    mutable std::mutex m_mutex;
    TimePoint m_now{};
    std::uint64_t m_nextOrder = 0;
    std::priority_queue<Entry, std::vector<Entry>, Later> m_entries;
};

}  // namespace tarnwick
