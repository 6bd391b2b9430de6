#pragma once

#include "JSONCoding.h"

#include <string>

namespace tarnwick {

// One connection the user allowed or denied: the application's bundle identifier and the remote
// address. Stored as {"processId":..,"ipAddress":..}.
struct HitListEntry {
    std::string processId;
    std::string ipAddress;

    bool operator==(const HitListEntry& other) const = default;

    nlohmann::ordered_json toJSON() const;
    // Throws DecodingError; both members are required.
    static HitListEntry fromJSON(const nlohmann::json& object, const JSONCoding::CodingPath& path);
};

}  // namespace tarnwick
