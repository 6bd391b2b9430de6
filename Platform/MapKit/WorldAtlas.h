#pragma once

#include "Foundation/Result.h"
#include "MapKit/MapGeometry.h"

#include <cstddef>
#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

namespace tarnwick {

// The countries of a TopoJSON topology (Natural Earth's, as the world-atlas package ships it),
// decoded once into rings of Mercator points. The file is read as hostile input: a size limit, a
// bound on points and arcs, and a clear error for anything malformed.
class WorldAtlas {
public:
    struct Country {
        std::string name;
        // Outer rings and holes alike; drawn with the even-odd rule.
        std::vector<std::vector<MKMapPoint>> rings;
    };

    static constexpr std::size_t kMaximumFileBytes = 16 * 1024 * 1024;
    static constexpr std::size_t kMaximumPoints = 4'000'000;
    // A border arc belongs to the two countries either side of it.
    static constexpr std::size_t kMaximumRingPoints = 2 * kMaximumPoints;

    static Result<WorldAtlas, std::string> parse(std::string_view topoJSON);
    static Result<WorldAtlas, std::string> read(const std::filesystem::path& path);

    const std::vector<Country>& countries() const { return m_countries; }
    std::size_t pointCount() const;

private:
    std::vector<Country> m_countries;
};

}  // namespace tarnwick
