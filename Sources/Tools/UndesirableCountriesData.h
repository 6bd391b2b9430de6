#pragma once

#include "Country.h"
#include "Foundation/Result.h"

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace tarnwick {

// The stored document of the target countries: {"undesirableCountries":[<country>, ...]}.
struct UndesirableCountriesData {
    std::vector<Country> undesirableCountries;

    // Nothing when a text is not UTF-8.
    Result<std::string, std::string> encode() const;
    // Throws DecodingError; one bad country fails the whole document.
    static UndesirableCountriesData decode(std::string_view bytes);
};

}  // namespace tarnwick
