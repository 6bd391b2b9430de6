#include "FuzzEntries.h"
#include "MapKit/WorldAtlas.h"

#include <cmath>
#include <cstdlib>
#include <string_view>

namespace tarnwick::fuzz {

int fuzzWorldAtlas(const std::uint8_t* data, std::size_t size) {
    const auto atlas =
        WorldAtlas::parse(std::string_view(reinterpret_cast<const char*>(data), size));
    if (!atlas) {
        return 0;
    }
    for (const auto& country : atlas.value().countries()) {
        for (const auto& ring : country.rings) {
            // Rings are closed shapes of finite points.
            if (ring.size() < 3) {
                std::abort();
            }
            for (const auto& point : ring) {
                if (!std::isfinite(point.x) || !std::isfinite(point.y)) {
                    std::abort();
                }
            }
        }
    }
    return 0;
}

}  // namespace tarnwick::fuzz
