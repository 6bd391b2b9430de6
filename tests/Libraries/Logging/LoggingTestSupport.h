#pragma once

#include "Logging/BaseDestination.h"
#include "Logging/LogHub.h"

#include <gtest/gtest.h>

#include <chrono>
#include <mutex>
#include <vector>

namespace tarnwick::testing {

// A clock the test moves by hand.
class SettableClock final : public WallClock {
public:
    explicit SettableClock(TimePoint time) : m_time(time) {}
    TimePoint now() const override {
        std::lock_guard lock(m_mutex);
        return m_time;
    }
    void set(TimePoint time) {
        std::lock_guard lock(m_mutex);
        m_time = time;
    }

private:
    mutable std::mutex m_mutex;
    TimePoint m_time;
};

// 2026-01-02 03:04:05.678 UTC.
inline WallClock::TimePoint fixedMoment() {
    using namespace std::chrono;
    return sys_days{2026y / January / 2} + 3h + 4min + 5s + 678ms;
}

struct SentEntry {
    LogLevel level;
    std::string message;
    std::string thread;
    std::string file;
    std::string function;
    long line;
    std::optional<std::string> text;
};

// Records what reaches `send`, with the text the base renders.
class RecordingDestination : public BaseDestination {
public:
    explicit RecordingDestination(const WallClock& clock = WallClock::system())
        : BaseDestination(clock) {}

    std::optional<std::string> send(LogLevel level, const std::string& message,
                                    const std::string& thread, const std::string& file,
                                    const std::string& function, long line,
                                    const LogValue& context) override {
        auto text = BaseDestination::send(level, message, thread, file, function, line, context);
        std::lock_guard lock(m_mutex);
        m_entries.push_back({level, message, thread, file, function, line, text});
        return text;
    }

    std::vector<SentEntry> entries() {
        std::lock_guard lock(m_mutex);
        return m_entries;
    }

private:
    std::mutex m_mutex;
    std::vector<SentEntry> m_entries;
};

// Every test starts and ends with no registered destination.
class LogHubTest : public ::testing::Test {
protected:
    void SetUp() override { LogHub::removeAllDestinations(); }
    void TearDown() override {
        LogHub::flush(5);
        LogHub::removeAllDestinations();
    }
};

}  // namespace tarnwick::testing
