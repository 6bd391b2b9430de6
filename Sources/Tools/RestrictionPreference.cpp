#include "RestrictionPreference.h"

namespace tarnwick {

namespace {

const char* const kCountry = "TARGET COUNTRY";
const char* const kLanguage = "TARGET COUNTRY LANGUAGE";
const char* const kCompany = "[TARGET COUNTRY COMPANY]";

std::vector<RestrictionPreference> rules(const std::vector<DetectionReason>& reasons) {
    return {reasons.begin(), reasons.end()};
}

}  // namespace

const std::vector<DetectionReason>& RestrictionPreference::requiredReasons() {
    // The required copyright reason carries "TARGET COUNTRY", unlike the template of allCases.
    static const std::vector<DetectionReason> reasons = {
        DetectionReason::custom("TARGET COUNTRY OWNERSHIP"),
        DetectionReason::bundleID("TARGET COUNTRY CODE"),
        DetectionReason::sellerUrl("[TARGET COUNTRY DOMAIN]"),
        DetectionReason::copyright(kCountry),
        DetectionReason::sellerName(kCompany),
        DetectionReason::applicationServer(kCountry),
    };
    return reasons;
}

std::vector<RestrictionPreference> RestrictionPreference::requiredRestrictions() {
    return rules(requiredReasons());
}

std::vector<RestrictionPreference> RestrictionPreference::additionalRestrictions(
    bool includingSocialNetworkDomain) {
    std::vector<DetectionReason> reasons = {
        DetectionReason::title(kLanguage),
        DetectionReason::signingCertificate(kCountry, "Team Id"),
        DetectionReason::localization(kLanguage),
        DetectionReason::binaryURLs(kCountry, {"String"}),
        DetectionReason::artistName(kCompany),
        DetectionReason::secondaryLocalization(kLanguage),
        DetectionReason::appStoreTitle(kLanguage),
        DetectionReason::appStoreDescription(kLanguage),
        DetectionReason::appStoreSecondary(kLanguage),
        DetectionReason::description(kLanguage),
    };
    if (includingSocialNetworkDomain) {
        reasons.push_back(DetectionReason::socialNetworkDomain());
    }
    return rules(reasons);
}

std::vector<RestrictionPreference> RestrictionPreference::recommendedRestrictions() {
    return rules({
        DetectionReason::signingCertificate(kCountry, "Team Id"),
        DetectionReason::localization(kLanguage),
        DetectionReason::binaryURLs(kCountry, {"String"}),
        DetectionReason::artistName(kCompany),
        DetectionReason::title(kLanguage),
    });
}

nlohmann::ordered_json RestrictionPreference::toJSON() const {
    nlohmann::ordered_json object = nlohmann::ordered_json::object();
    object["reason"] = m_reason.toJSON();
    return object;
}

RestrictionPreference RestrictionPreference::fromJSON(const nlohmann::json& object,
                                                      const JSONCoding::CodingPath& path) {
    return RestrictionPreference(DetectionReason::fromJSON(
        JSONCoding::member(object, "reason", path), JSONCoding::appending(path, "reason")));
}

}  // namespace tarnwick
