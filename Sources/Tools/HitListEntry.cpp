#include "HitListEntry.h"

namespace tarnwick {

nlohmann::ordered_json HitListEntry::toJSON() const {
    nlohmann::ordered_json object = nlohmann::ordered_json::object();
    object["processId"] = processId;
    object["ipAddress"] = ipAddress;
    return object;
}

HitListEntry HitListEntry::fromJSON(const nlohmann::json& object,
                                    const JSONCoding::CodingPath& path) {
    auto text = [&](const std::string& key) {
        return JSONCoding::string(JSONCoding::member(object, key, path),
                                  JSONCoding::appending(path, key));
    };
    HitListEntry entry;
    entry.processId = text("processId");
    entry.ipAddress = text("ipAddress");
    return entry;
}

}  // namespace tarnwick
