#include "WallClock.h"

namespace tarnwick {

namespace {

class SystemWallClock final : public WallClock {
public:
    TimePoint now() const override { return std::chrono::system_clock::now(); }
};

}  // namespace

const WallClock& WallClock::system() {
    static const SystemWallClock clock;
    return clock;
}

}  // namespace tarnwick
