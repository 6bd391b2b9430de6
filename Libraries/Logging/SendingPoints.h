#pragma once

#include <cstdint>

namespace tarnwick {

// What one entry of each level adds to a platform log destination's points, and the points at
// which it sends its buffered entries.
struct SendingPoints {
    std::int64_t verbose = 0;
    std::int64_t debug = 1;
    std::int64_t info = 5;
    std::int64_t warning = 8;
    std::int64_t error = 10;
    std::int64_t threshold = 10;
};

}  // namespace tarnwick
