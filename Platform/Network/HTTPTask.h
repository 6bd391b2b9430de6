#pragma once

#include <cstdint>

namespace tarnwick {

// A running request of an HTTPSession. Dropping the task does not stop the request; cancelling it
// does, and its completion then reports a cancellation (unless the answer came first).
class HTTPTask {
public:
    explicit HTTPTask(std::uint64_t transfer) : m_transfer(transfer) {}

    void cancel();

private:
    std::uint64_t m_transfer;
};

}  // namespace tarnwick
