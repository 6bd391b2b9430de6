#pragma once

#include "OSLog.h"

#include <chrono>
#include <cstddef>
#include <mutex>
#include <optional>
#include <string_view>

namespace tarnwick {

// For a line a hostile peer can cause at will (a refused or evicted client): at most one such line
// per interval reaches the log, and the next one says how many were left out meanwhile, so a flood
// of clients cannot flood the journal.
class OSLogThrottle {
public:
    using Clock = std::chrono::steady_clock;

    explicit OSLogThrottle(std::chrono::milliseconds interval = std::chrono::seconds(1))
        : m_interval(interval) {}

    void log(std::string_view message, OSLogType type, const OSLog& log = OSLog::defaultLog(),
             Clock::time_point now = Clock::now());

private:
    const std::chrono::milliseconds m_interval;
    std::mutex m_mutex;
    std::optional<Clock::time_point> m_lastLine;
    std::size_t m_leftOut = 0;
};

}  // namespace tarnwick
