#pragma once

#include "JSONCoding.h"

#include <cstddef>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace tarnwick {

// One kind of tie between an installed application and a target country, with the evidence that
// was found. A finding of the analysis carries real evidence; a rule (RestrictionPreference)
// carries placeholder evidence and is titled by its sentence; the selected rules are stored as
// JSON, one object per reason: {"<case>":{"_0":..,"_1":..}}.
//
// Equal reasons have the same case and equal evidence; texts compare as Unicode text, so
// canonically equivalent spellings are equal.
class DetectionReason {
public:
    // The order is part of the stored format and of the hash.
    enum class Case {
        custom,
        bundleID,
        sellerUrl,
        socialNetworkDomain,
        appStoreTitle,
        appStoreDescription,
        appStoreSecondary,
        title,
        description,
        signingCertificate,
        localization,
        secondaryLocalization,
        copyright,
        sellerName,
        artistName,
        binaryURLs,
        applicationServer,
    };
    static constexpr std::size_t caseCount = 17;

    // The social network whose domain a seller site must not lie on; the analysis check and
    // the sentence share it.
    static constexpr std::string_view socialNetworkDomainName = "vk.com";

    static DetectionReason custom(std::string reason);
    static DetectionReason bundleID(std::string countryCode);
    static DetectionReason sellerUrl(std::string url);
    static DetectionReason socialNetworkDomain();
    static DetectionReason appStoreTitle(std::string language);
    static DetectionReason appStoreDescription(std::string language);
    static DetectionReason appStoreSecondary(std::string language);
    static DetectionReason title(std::string language);
    static DetectionReason description(std::string language);
    static DetectionReason signingCertificate(std::string country,
                                              std::optional<std::string> teamIdentifier);
    static DetectionReason localization(std::string language);
    static DetectionReason secondaryLocalization(std::string language);
    static DetectionReason copyright(std::string language);
    static DetectionReason sellerName(std::string name);
    static DetectionReason artistName(std::string name);
    static DetectionReason binaryURLs(std::string country, std::vector<std::string> hosts);
    static DetectionReason applicationServer(std::string country);

    // One template per case, in declaration order, with placeholder evidence.
    static std::vector<DetectionReason> allCases();
    // "custom", "bundleID", ... as stored.
    static std::string_view caseName(Case reasonCase);

    Case reasonCase() const { return m_case; }
    // The first evidence text; empty for socialNetworkDomain.
    const std::string& value() const { return m_value; }
    // signingCertificate only.
    const std::optional<std::string>& teamIdentifier() const { return m_teamIdentifier; }
    // binaryURLs only.
    const std::vector<std::string>& hosts() const { return m_hosts; }

    // The sentence shown to the user.
    std::string descriptionText() const;

    bool operator==(const DetectionReason& other) const;
    std::size_t hash() const;

    nlohmann::ordered_json toJSON() const;
    // Throws DecodingError.
    static DetectionReason fromJSON(const nlohmann::json& object,
                                    const JSONCoding::CodingPath& path);

private:
    DetectionReason(Case reasonCase, std::string value)
        : m_case(reasonCase), m_value(std::move(value)) {}

    Case m_case;
    std::string m_value;
    std::optional<std::string> m_teamIdentifier;
    std::vector<std::string> m_hosts;
};

}  // namespace tarnwick

template <>
struct std::hash<tarnwick::DetectionReason> {
    std::size_t operator()(const tarnwick::DetectionReason& reason) const { return reason.hash(); }
};
