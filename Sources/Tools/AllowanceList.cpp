#include "AllowanceList.h"

#include "OSLog/OSLog.h"
#include "SettingsDocument.h"

namespace tarnwick {

namespace {

std::vector<HitListEntry> hits(const nlohmann::json& document, const std::string& key) {
    const JSONCoding::CodingPath path = {key};
    std::vector<HitListEntry> entries;
    std::size_t index = 0;
    for (const auto& item : JSONCoding::array(JSONCoding::member(document, key, {}), path)) {
        entries.push_back(HitListEntry::fromJSON(
            item, JSONCoding::appending(path, "Index " + std::to_string(index++))));
    }
    return entries;
}

nlohmann::ordered_json hitsJSON(const std::vector<HitListEntry>& entries) {
    nlohmann::ordered_json array = nlohmann::ordered_json::array();
    for (const auto& entry : entries) {
        array.push_back(entry.toJSON());
    }
    return array;
}

}  // namespace

Result<std::string, std::string> AllowanceList::encode() const {
    nlohmann::ordered_json document = nlohmann::ordered_json::object();
    document["bundleIDWhitelist"] = bundleIDWhitelist;
    document["bundleIDBlacklist"] = bundleIDBlacklist;
    document["hostWhitelist"] = hostWhitelist;
    document["hostBlacklist"] = hostBlacklist;
    document["hitsBlackList"] = hitsJSON(hitsBlackList);
    document["hitsWhitelist"] = hitsJSON(hitsWhitelist);
    return JSONCoding::encode(document);
}

AllowanceList AllowanceList::decode(std::string_view bytes) {
    const auto document = JSONCoding::parse(bytes);
    auto strings = [&](const std::string& key) {
        return JSONCoding::strings(JSONCoding::member(document, key, {}), {key});
    };
    AllowanceList list;
    list.bundleIDWhitelist = strings("bundleIDWhitelist");
    list.bundleIDBlacklist = strings("bundleIDBlacklist");
    list.hostWhitelist = strings("hostWhitelist");
    list.hostBlacklist = strings("hostBlacklist");
    list.hitsBlackList = hits(document, "hitsBlackList");
    list.hitsWhitelist = hits(document, "hitsWhitelist");
    return list;
}

std::optional<AllowanceList> AllowanceList::restoreFromSettings() {
    const auto bytes = SettingsDocument::read(SettingsKey::allowanceList);
    if (!bytes) {
        return std::nullopt;
    }
    try {
        return decode(*bytes);
    } catch (const DecodingError&) {
        SettingsDocument::keepUnreadable(SettingsKey::allowanceList, *bytes);
        return std::nullopt;
    }
}

bool AllowanceList::saveToSettings() const {
    const auto bytes = encode();
    if (!bytes) {
        osLog("Unable to encode deny list");
        return false;
    }
    return SettingsDocument::write(SettingsKey::allowanceList, *bytes).ok();
}

}  // namespace tarnwick
