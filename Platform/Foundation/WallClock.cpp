#include "WallClock.h"

namespace tarnwick {

namespace {

class SystemWallClock final : public WallClock {
public:
    TimePoint now() const override { return std::chrono::system_clock::now(); }
};

}  // namespace

const WallClock& WallClock::system() {
    // Never destroyed: work still queued when the process exits may ask it the time.
    static const auto* clock = new SystemWallClock;
    return *clock;
}

}  // namespace tarnwick
