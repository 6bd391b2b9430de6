#pragma once

#include <condition_variable>
#include <cstddef>
#include <memory>
#include <mutex>

namespace tarnwick {

// Bounds the memory that executables' strings take at once. The analyser checks every application
// at the same time, and the strings of a large executable take tens of megabytes: without a bound
// a machine with a few of them would hold them all together. A read asks for what it expects to
// use and waits while others hold the rest; what it got goes back when its strings are dropped.
class StringReadBudget {
public:
    static constexpr std::size_t kDefaultBytes = 64u << 20;

    explicit StringReadBudget(std::size_t totalBytes) : m_total(totalBytes) {}
    static StringReadBudget& shared();

    // Waits until `bytes` (at most the whole budget) are free; they are given back when the last
    // copy of the lease goes.
    std::shared_ptr<void> acquire(std::size_t bytes);

    std::size_t totalBytes() const { return m_total; }
    // Used for testing only
    std::size_t inUse() const;

private:
    void release(std::size_t bytes);

    const std::size_t m_total;
    mutable std::mutex m_mutex;
    std::condition_variable m_freed;
    std::size_t m_used = 0;
};

}  // namespace tarnwick
