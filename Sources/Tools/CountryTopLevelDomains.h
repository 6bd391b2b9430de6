#pragma once

#include <map>
#include <string>

namespace tarnwick {

// The top-level domain of each officially assigned ISO 3166-1 alpha-2 country code: "." and the
// code in lower case, except "GB", whose domain is ".uk". Walked in alphabetical order of the
// code; built once, on first use.
const std::map<std::string, std::string>& countryTopLevelDomains();

}  // namespace tarnwick
