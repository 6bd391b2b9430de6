#pragma once

#include <string>

namespace tarnwick {

// A host name with the address it resolved to and that address's geo-IP country.
struct DomainInfo {
    // The host name as asked.
    std::string domain;
    std::string ip;
    // An upper-case ISO 3166-1 alpha-2 code, or "local".
    std::string country;

    bool operator==(const DomainInfo&) const = default;
};

}  // namespace tarnwick
