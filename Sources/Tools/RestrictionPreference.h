#pragma once

#include "DetectionReason.h"

#include <vector>

namespace tarnwick {

// One detection rule of the App Monitor: a reason with placeholder evidence, titled by the
// reason's sentence. Rules are equal, and hash alike, when their reasons are; callers never tell
// rules apart otherwise. Stored as {"reason":<reason>}.
//
// The fixed lists: the required rules always run; the additional ones are the user's choice;
// the recommended preset (a subset of the additional rules) is the selection when the user made
// none.
class RestrictionPreference {
public:
    explicit RestrictionPreference(DetectionReason reason) : m_reason(std::move(reason)) {}

    const DetectionReason& reason() const { return m_reason; }

    bool operator==(const RestrictionPreference& other) const { return m_reason == other.m_reason; }

    // The six required reasons, built once.
    static const std::vector<DetectionReason>& requiredReasons();
    // Each call makes a new list.
    static std::vector<RestrictionPreference> requiredRestrictions();
    // Ten rules; with the flag the social-network rule comes last as an eleventh.
    static std::vector<RestrictionPreference> additionalRestrictions(
        bool includingSocialNetworkDomain);
    static std::vector<RestrictionPreference> recommendedRestrictions();

    nlohmann::ordered_json toJSON() const;
    // Throws DecodingError; a reason's error passes through unchanged.
    static RestrictionPreference fromJSON(const nlohmann::json& object,
                                          const JSONCoding::CodingPath& path);

private:
    DetectionReason m_reason;
};

}  // namespace tarnwick

template <>
struct std::hash<tarnwick::RestrictionPreference> {
    std::size_t operator()(const tarnwick::RestrictionPreference& rule) const {
        return rule.reason().hash();
    }
};
