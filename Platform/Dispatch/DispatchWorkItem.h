#pragma once

#include <atomic>
#include <functional>

namespace tarnwick {

// A block that can be cancelled before it runs. Cancelling does not interrupt a block that has
// already started.
class DispatchWorkItem {
public:
    explicit DispatchWorkItem(std::function<void()> block);

    void perform();
    void cancel();
    bool isCancelled() const;

private:
    std::function<void()> m_block;
    std::atomic<bool> m_cancelled{false};
};

}  // namespace tarnwick
