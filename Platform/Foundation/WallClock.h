#pragma once

#include <chrono>

namespace tarnwick {

// The time of day, behind an interface so that tests can fix it.
class WallClock {
public:
    using TimePoint = std::chrono::system_clock::time_point;

    virtual ~WallClock() = default;
    virtual TimePoint now() const = 0;

    static const WallClock& system();
};

// Always answers the time it was given.
// Used for testing only
class FixedWallClock final : public WallClock {
public:
    explicit FixedWallClock(TimePoint time) : m_time(time) {}
    TimePoint now() const override { return m_time; }

private:
    TimePoint m_time;
};

}  // namespace tarnwick
