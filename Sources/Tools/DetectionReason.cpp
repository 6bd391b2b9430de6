#include "DetectionReason.h"

#include "Locale/UnicodeText.h"

#include <array>
#include <cstdint>

namespace tarnwick {

namespace {

constexpr std::array<std::string_view, DetectionReason::caseCount> kCaseNames = {
    "custom",
    "bundleID",
    "sellerUrl",
    "socialNetworkDomain",
    "appStoreTitle",
    "appStoreDescription",
    "appStoreSecondary",
    "title",
    "description",
    "signingCertificate",
    "localization",
    "secondaryLocalization",
    "copyright",
    "sellerName",
    "artistName",
    "binaryURLs",
    "applicationServer",
};

// FNV-1a over the hash input, each text with its length before it so that inputs cannot run
// into each other.
class Hasher {
public:
    void add(std::uint64_t number) {
        for (int shift = 0; shift < 64; shift += 8) {
            addByte(static_cast<std::uint8_t>(number >> shift));
        }
    }
    void add(std::string_view text) {
        const std::string composed = UnicodeText::canonicallyComposed(text);
        add(static_cast<std::uint64_t>(composed.size()));
        for (const char byte : composed) {
            addByte(static_cast<std::uint8_t>(byte));
        }
    }
    void addByte(std::uint8_t byte) {
        m_value ^= byte;
        m_value *= 0x100000001b3ULL;
    }
    std::size_t value() const { return static_cast<std::size_t>(m_value); }

private:
    std::uint64_t m_value = 0xcbf29ce484222325ULL;
};

}  // namespace

DetectionReason DetectionReason::custom(std::string reason) {
    return {Case::custom, std::move(reason)};
}
DetectionReason DetectionReason::bundleID(std::string countryCode) {
    return {Case::bundleID, std::move(countryCode)};
}
DetectionReason DetectionReason::sellerUrl(std::string url) {
    return {Case::sellerUrl, std::move(url)};
}
DetectionReason DetectionReason::socialNetworkDomain() {
    return {Case::socialNetworkDomain, {}};
}
DetectionReason DetectionReason::appStoreTitle(std::string language) {
    return {Case::appStoreTitle, std::move(language)};
}
DetectionReason DetectionReason::appStoreDescription(std::string language) {
    return {Case::appStoreDescription, std::move(language)};
}
DetectionReason DetectionReason::appStoreSecondary(std::string language) {
    return {Case::appStoreSecondary, std::move(language)};
}
DetectionReason DetectionReason::title(std::string language) {
    return {Case::title, std::move(language)};
}
DetectionReason DetectionReason::description(std::string language) {
    return {Case::description, std::move(language)};
}
DetectionReason DetectionReason::signingCertificate(std::string country,
                                                    std::optional<std::string> teamIdentifier) {
    DetectionReason reason(Case::signingCertificate, std::move(country));
    reason.m_teamIdentifier = std::move(teamIdentifier);
    return reason;
}
DetectionReason DetectionReason::localization(std::string language) {
    return {Case::localization, std::move(language)};
}
DetectionReason DetectionReason::secondaryLocalization(std::string language) {
    return {Case::secondaryLocalization, std::move(language)};
}
DetectionReason DetectionReason::copyright(std::string language) {
    return {Case::copyright, std::move(language)};
}
DetectionReason DetectionReason::sellerName(std::string name) {
    return {Case::sellerName, std::move(name)};
}
DetectionReason DetectionReason::artistName(std::string name) {
    return {Case::artistName, std::move(name)};
}
DetectionReason DetectionReason::binaryURLs(std::string country, std::vector<std::string> hosts) {
    DetectionReason reason(Case::binaryURLs, std::move(country));
    reason.m_hosts = std::move(hosts);
    return reason;
}
DetectionReason DetectionReason::applicationServer(std::string country) {
    return {Case::applicationServer, std::move(country)};
}

std::vector<DetectionReason> DetectionReason::allCases() {
    return {
        custom("TARGET COUNTRY OWNERSHIP"),
        bundleID("TARGET COUNTRY CODE"),
        sellerUrl("[TARGET COUNTRY DOMAIN]"),
        socialNetworkDomain(),
        appStoreTitle("TARGET COUNTRY LANGUAGE"),
        appStoreDescription("TARGET COUNTRY LANGUAGE"),
        appStoreSecondary("TARGET COUNTRY LANGUAGE"),
        title("TARGET COUNTRY LANGUAGE"),
        description("TARGET COUNTRY LANGUAGE"),
        signingCertificate("TARGET COUNTRY", "Team Id"),
        localization("TARGET COUNTRY LANGUAGE"),
        secondaryLocalization("TARGET COUNTRY LANGUAGE"),
        copyright("TARGET COUNTRY LANGUAGE"),
        sellerName("[TARGET COUNTRY COMPANY]"),
        artistName("[TARGET COUNTRY COMPANY]"),
        binaryURLs("TARGET COUNTRY", {"String"}),
        applicationServer("TARGET COUNTRY"),
    };
}

std::string_view DetectionReason::caseName(Case reasonCase) {
    return kCaseNames.at(static_cast<std::size_t>(reasonCase));
}

std::string DetectionReason::descriptionText() const {
    const std::string& v = m_value;
    switch (m_case) {
        case Case::custom:
            return v;
        case Case::bundleID:
            return "Contains \"" + v + "\" in bundle id";
        case Case::sellerUrl:
            return "Seller site is: " + v;
        case Case::socialNetworkDomain:
            return "Application is distributed from " + std::string(socialNetworkDomainName);
        case Case::appStoreTitle:
            return "Has title in " + v + " on the AppStore";
        case Case::appStoreDescription:
            return "Has AppStore description only in " + v;
        case Case::appStoreSecondary:
            return "Has " + v + " as secondary language on the AppStore";
        case Case::title:
            return "Has title in " + v;
        case Case::description:
            return "Has " + v + " description";
        case Case::signingCertificate:
            return "Signing Certificate originated in " + v + " (" +
                   m_teamIdentifier.value_or("Team Id") + ")";
        case Case::localization:
            return "Has localization only in " + v;
        case Case::secondaryLocalization:
            return "Has secondary localization in " + v;
        case Case::copyright:
            return "Has copyright in " + v;
        case Case::sellerName:
            return "Seller name is: " + v;
        case Case::artistName:
            return "Developer name is: " + v;
        case Case::binaryURLs:
            return "Application binary contains hosts originating from " + v;
        case Case::applicationServer:
            return "Application server based in " + v;
    }
    return v;
}

bool DetectionReason::operator==(const DetectionReason& other) const {
    if (m_case != other.m_case || !UnicodeText::canonicallyEquivalent(m_value, other.m_value)) {
        return false;
    }
    if (m_teamIdentifier.has_value() != other.m_teamIdentifier.has_value() ||
        (m_teamIdentifier &&
         !UnicodeText::canonicallyEquivalent(*m_teamIdentifier, *other.m_teamIdentifier))) {
        return false;
    }
    if (m_hosts.size() != other.m_hosts.size()) {
        return false;
    }
    for (std::size_t index = 0; index < m_hosts.size(); ++index) {
        if (!UnicodeText::canonicallyEquivalent(m_hosts[index], other.m_hosts[index])) {
            return false;
        }
    }
    return true;
}

std::size_t DetectionReason::hash() const {
    Hasher hasher;
    hasher.add(static_cast<std::uint64_t>(m_case));
    switch (m_case) {
        case Case::socialNetworkDomain:
            break;
        case Case::signingCertificate:
            hasher.add(m_value);
            hasher.addByte(m_teamIdentifier ? 1 : 0);
            if (m_teamIdentifier) {
                hasher.add(*m_teamIdentifier);
            }
            break;
        case Case::binaryURLs:
            hasher.add(m_value);
            hasher.add(static_cast<std::uint64_t>(m_hosts.size()));
            for (const auto& host : m_hosts) {
                hasher.add(host);
            }
            break;
        default:
            hasher.add(m_value);
            break;
    }
    return hasher.value();
}

nlohmann::ordered_json DetectionReason::toJSON() const {
    nlohmann::ordered_json payload = nlohmann::ordered_json::object();
    if (m_case != Case::socialNetworkDomain) {
        payload["_0"] = m_value;
    }
    if (m_case == Case::signingCertificate && m_teamIdentifier) {
        payload["_1"] = *m_teamIdentifier;
    }
    if (m_case == Case::binaryURLs) {
        payload["_1"] = m_hosts;
    }
    nlohmann::ordered_json object = nlohmann::ordered_json::object();
    object[std::string(caseName(m_case))] = std::move(payload);
    return object;
}

DetectionReason DetectionReason::fromJSON(const nlohmann::json& object,
                                          const JSONCoding::CodingPath& path) {
    JSONCoding::requireObject(object, path);
    std::optional<Case> found;
    int matches = 0;
    for (std::size_t index = 0; index < caseCount; ++index) {
        if (object.contains(std::string(kCaseNames[index]))) {
            found = static_cast<Case>(index);
            ++matches;
        }
    }
    if (matches != 1) {
        throw DecodingError(DecodingError::Kind::typeMismatch, path,
                            "Invalid number of keys found, expected one.");
    }
    const std::string name(caseName(*found));
    const auto payloadPath = JSONCoding::appending(path, name);
    const auto& payload = object.at(name);
    JSONCoding::requireObject(payload, payloadPath);
    if (*found == Case::socialNetworkDomain) {
        return socialNetworkDomain();
    }
    DetectionReason reason(*found,
                           JSONCoding::string(JSONCoding::member(payload, "_0", payloadPath),
                                              JSONCoding::appending(payloadPath, "_0")));
    if (*found == Case::signingCertificate) {
        reason.m_teamIdentifier = JSONCoding::optionalString(payload, "_1", payloadPath);
    } else if (*found == Case::binaryURLs) {
        reason.m_hosts = JSONCoding::strings(JSONCoding::member(payload, "_1", payloadPath),
                                             JSONCoding::appending(payloadPath, "_1"));
    }
    return reason;
}

}  // namespace tarnwick
