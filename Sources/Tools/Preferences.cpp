#include "Preferences.h"

#include "OSLog/OSLog.h"
#include "SettingsDocument.h"

namespace tarnwick {

namespace {
const char* const kKey = "restrictions";
}

Result<std::string, std::string> Preferences::RestrictionsData::encode() const {
    nlohmann::ordered_json rules = nlohmann::ordered_json::array();
    for (const auto& rule : restrictions) {
        rules.push_back(rule.toJSON());
    }
    nlohmann::ordered_json document = nlohmann::ordered_json::object();
    document[kKey] = std::move(rules);
    return JSONCoding::encode(document);
}

Preferences::RestrictionsData Preferences::RestrictionsData::decode(std::string_view bytes) {
    const auto document = JSONCoding::parse(bytes);
    const JSONCoding::CodingPath path = {kKey};
    RestrictionsData data;
    std::size_t index = 0;
    for (const auto& item : JSONCoding::array(JSONCoding::member(document, kKey, {}), path)) {
        data.restrictions.push_back(RestrictionPreference::fromJSON(
            item, JSONCoding::appending(path, "Index " + std::to_string(index++))));
    }
    return data;
}

Preferences::Preferences() {
    auto loaded = loadRestrictions();
    std::lock_guard lock(m_mutex);
    m_restrictions = std::move(loaded);
}

Preferences& Preferences::shared() {
    // Never destroyed: the analysis threads may read it while the process exits.
    static auto* preferences = new Preferences;
    return *preferences;
}

std::optional<std::vector<RestrictionPreference>> Preferences::restrictions() const {
    std::lock_guard lock(m_mutex);
    return m_restrictions;
}

std::vector<RestrictionPreference> Preferences::loadRestrictions() {
    std::lock_guard lock(m_mutex);
    if (m_loadedRestrictionsData) {
        return m_loadedRestrictionsData->restrictions;
    }
    const auto bytes = SettingsDocument::read(SettingsKey::restrictions);
    if (!bytes) {
        return RestrictionPreference::recommendedRestrictions();
    }
    try {
        m_loadedRestrictionsData = RestrictionsData::decode(*bytes);
    } catch (const DecodingError&) {
        osLog("Unable to decode restrictions");
        SettingsDocument::keepUnreadable(SettingsKey::restrictions, *bytes);
        return RestrictionPreference::requiredRestrictions();
    }
    return m_loadedRestrictionsData->restrictions;
}

void Preferences::saveRestrictions(const std::vector<RestrictionPreference>& restrictions) {
    const auto bytes = RestrictionsData{restrictions}.encode();
    if (!bytes) {
        osLog("Unable to encode restrictions");
        return;
    }
    std::lock_guard lock(m_mutex);
    m_restrictions = restrictions;
    // A refused write has been logged, and the restrictions in memory stay as they are.
    (void)SettingsDocument::write(SettingsKey::restrictions, *bytes);
}

}  // namespace tarnwick
