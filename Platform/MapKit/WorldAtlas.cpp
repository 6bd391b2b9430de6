#include "MapKit/WorldAtlas.h"

#include "Foundation/JSONReader.h"
#include "Foundation/OutsideFile.h"

#include <algorithm>
#include <cmath>

namespace tarnwick {

namespace {

using json = nlohmann::json;

// A member of an object as the type it must have, else empty: the library's `value` throws on a
// member of another type, and this input is anyone's.
std::string stringField(const json& object, const char* key) {
    const auto found = object.find(key);
    return found != object.end() && found->is_string() ? found->get<std::string>() : std::string();
}

json arrayField(const json& object, const char* key) {
    const auto found = object.find(key);
    return found != object.end() && found->is_array() ? *found : json::array();
}

using Arc = std::vector<MKMapPoint>;

struct Decoder {
    std::vector<Arc> arcs;
    std::size_t points = 0;
    std::size_t ringPoints = 0;
    std::string error;

    bool fail(std::string message) {
        error = std::move(message);
        return false;
    }

    bool decodeArcs(const json& topology) {
        const auto found = topology.find("arcs");
        if (found == topology.end() || !found->is_array()) {
            return fail("the topology has no arcs");
        }
        double scaleX = 1, scaleY = 1, translateX = 0, translateY = 0;
        bool quantized = false;
        if (const auto transform = topology.find("transform"); transform != topology.end()) {
            if (!transform->is_object()) {
                return fail("the topology's transform is malformed");
            }
            const json scale = arrayField(*transform, "scale");
            const json translate = arrayField(*transform, "translate");
            if (scale.size() != 2 || translate.size() != 2 || !scale[0].is_number() ||
                !scale[1].is_number() || !translate[0].is_number() || !translate[1].is_number()) {
                return fail("the topology's transform is malformed");
            }
            scaleX = scale[0].get<double>();
            scaleY = scale[1].get<double>();
            translateX = translate[0].get<double>();
            translateY = translate[1].get<double>();
            quantized = true;
        }
        for (const auto& arc : *found) {
            if (!arc.is_array()) {
                return fail("an arc is not a list of positions");
            }
            Arc decoded;
            double x = 0, y = 0;
            for (const auto& position : arc) {
                if (!position.is_array() || position.size() < 2 || !position[0].is_number() ||
                    !position[1].is_number()) {
                    return fail("an arc holds a malformed position");
                }
                if (++points > WorldAtlas::kMaximumPoints) {
                    return fail("the topology has too many points");
                }
                if (quantized) {
                    x += position[0].get<double>();
                    y += position[1].get<double>();
                } else {
                    x = position[0].get<double>();
                    y = position[1].get<double>();
                }
                const double longitude = quantized ? x * scaleX + translateX : x;
                const double latitude = quantized ? y * scaleY + translateY : y;
                if (!std::isfinite(longitude) || !std::isfinite(latitude)) {
                    return fail("an arc holds a position off the globe");
                }
                decoded.push_back(mapgeometry::mapPoint({latitude, longitude}));
            }
            arcs.push_back(std::move(decoded));
        }
        return true;
    }

    bool ring(const json& indices, std::vector<MKMapPoint>& out) {
        if (!indices.is_array()) {
            return fail("a ring is not a list of arcs");
        }
        for (const auto& entry : indices) {
            if (!entry.is_number_integer()) {
                return fail("a ring names an arc by something other than its index");
            }
            const auto index = entry.get<long long>();
            const bool reversed = index < 0;
            const auto position = static_cast<unsigned long long>(reversed ? ~index : index);
            if (position >= arcs.size()) {
                return fail("a ring names an arc that does not exist");
            }
            const Arc& arc = arcs[position];
            // Consecutive arcs share their joining point.
            const std::size_t skip = out.empty() ? 0 : std::min<std::size_t>(1, arc.size());
            // Rings name arcs by index, so a few bytes can repeat a long arc endlessly: what the
            // rings add up to is bounded as well as the arcs themselves.
            ringPoints += arc.size() - skip;
            if (ringPoints > WorldAtlas::kMaximumRingPoints) {
                return fail("the topology's countries have too many points");
            }
            const auto offset = static_cast<std::ptrdiff_t>(skip);
            if (reversed) {
                out.insert(out.end(), arc.rbegin() + offset, arc.rend());
            } else {
                out.insert(out.end(), arc.begin() + offset, arc.end());
            }
        }
        return true;
    }

    bool polygon(const json& rings, WorldAtlas::Country& country) {
        if (!rings.is_array()) {
            return fail("a polygon is not a list of rings");
        }
        for (const auto& indices : rings) {
            std::vector<MKMapPoint> assembled;
            if (!ring(indices, assembled)) {
                return false;
            }
            if (assembled.size() >= 3) {
                country.rings.push_back(std::move(assembled));
            }
        }
        return true;
    }
};

}  // namespace

Result<WorldAtlas, std::string> WorldAtlas::parse(std::string_view topoJSON) {
    if (topoJSON.size() > kMaximumFileBytes) {
        return Failure{std::string("the map data is larger than 16 MiB")};
    }
    // Positions nest four levels inside the objects; nothing legitimate is deeper than this.
    auto document = JSONReader::parse(topoJSON, 16);
    if (!document) {
        return Failure{"the map data is not JSON: " + document.error()};
    }
    const json& topology = *document;
    if (!topology.is_object() || stringField(topology, "type") != "Topology") {
        return Failure{std::string("the map data is not a topology")};
    }
    Decoder decoder;
    if (!decoder.decodeArcs(topology)) {
        return Failure{decoder.error};
    }
    const auto objects = topology.find("objects");
    if (objects == topology.end() || !objects->is_object()) {
        return Failure{std::string("the topology has no objects")};
    }
    const auto countries = objects->find("countries");
    if (countries == objects->end() || !countries->is_object() ||
        !countries->contains("geometries") || !(*countries)["geometries"].is_array()) {
        return Failure{std::string("the topology has no countries")};
    }
    WorldAtlas atlas;
    for (const auto& geometry : (*countries)["geometries"]) {
        if (!geometry.is_object()) {
            return Failure{std::string("a country is not an object")};
        }
        Country country;
        if (const auto properties = geometry.find("properties");
            properties != geometry.end() && properties->is_object()) {
            const auto name = properties->find("name");
            if (name != properties->end() && name->is_string()) {
                country.name = name->get<std::string>();
            }
        }
        const std::string type = stringField(geometry, "type");
        const auto arcs = geometry.find("arcs");
        if (type == "Polygon" && arcs != geometry.end()) {
            if (!decoder.polygon(*arcs, country)) {
                return Failure{decoder.error};
            }
        } else if (type == "MultiPolygon" && arcs != geometry.end() && arcs->is_array()) {
            for (const auto& polygon : *arcs) {
                if (!decoder.polygon(polygon, country)) {
                    return Failure{decoder.error};
                }
            }
        }
        // Other geometry types (none in the country sets) have no area to draw.
        atlas.m_countries.push_back(std::move(country));
    }
    return atlas;
}

Result<WorldAtlas, std::string> WorldAtlas::read(const std::filesystem::path& path) {
    auto text = OutsideFile::read(path, kMaximumFileBytes);
    if (!text) {
        return Failure{text.error().message};
    }
    return parse(*text);
}

std::size_t WorldAtlas::pointCount() const {
    std::size_t count = 0;
    for (const auto& country : m_countries) {
        for (const auto& ring : country.rings) {
            count += ring.size();
        }
    }
    return count;
}

}  // namespace tarnwick
