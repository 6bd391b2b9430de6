#pragma once

#include "Scheduler.h"

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <utility>
#include <vector>

namespace tarnwick {

// Tasks waiting for their deadlines, earliest first; tasks with one deadline leave in the order
// they came. Both schedulers keep their tasks in one. It takes no lock: its owner's mutex guards
// it.
class TimerHeap {
public:
    using TimePoint = Scheduler::TimePoint;

    struct Timer {
        TimePoint deadline;
        std::function<void()> task;
    };

    void push(TimePoint deadline, std::function<void()> task) {
        m_entries.push_back(Entry{deadline, m_nextOrder++, std::move(task)});
        std::push_heap(m_entries.begin(), m_entries.end(), Later());
    }

    bool empty() const { return m_entries.empty(); }
    std::size_t size() const { return m_entries.size(); }
    // The earliest deadline; the heap must not be empty.
    TimePoint nextDeadline() const { return m_entries.front().deadline; }

    // Takes the earliest timer out; the heap must not be empty.
    Timer pop() {
        std::pop_heap(m_entries.begin(), m_entries.end(), Later());
        Entry entry = std::move(m_entries.back());
        m_entries.pop_back();
        return Timer{entry.deadline, std::move(entry.task)};
    }

private:
    struct Entry {
        TimePoint deadline;
        std::uint64_t order;
        std::function<void()> task;
    };
    // The heap keeps the greatest element first, so "greater" means "fires later".
    struct Later {
        bool operator()(const Entry& a, const Entry& b) const {
            return a.deadline != b.deadline ? a.deadline > b.deadline : a.order > b.order;
        }
    };

    std::uint64_t m_nextOrder = 0;
    std::vector<Entry> m_entries;
};

}  // namespace tarnwick
