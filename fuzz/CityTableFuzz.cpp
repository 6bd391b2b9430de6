#include "FuzzEntries.h"
#include "MapKit/CityIndex.h"

#include <cstdlib>
#include <string_view>

namespace tarnwick::fuzz {

int fuzzCityTable(const std::uint8_t* data, std::size_t size) {
    const auto index =
        CityIndex::parse(std::string_view(reinterpret_cast<const char*>(data), size));
    if (!index) {
        return 0;
    }
    // Every look-up answers, and a name is one the table held.
    for (const CLLocationCoordinate2D at :
         {CLLocationCoordinate2D{0, 0}, {45, 179.9}, {-89, -180}}) {
        const auto name = index.value().cityName(at);
        if (name && (name->empty() || name->size() > CityIndex::kMaximumNameBytes)) {
            std::abort();
        }
    }
    return 0;
}

}  // namespace tarnwick::fuzz
