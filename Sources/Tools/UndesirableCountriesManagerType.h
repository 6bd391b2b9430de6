#pragma once

#include "Country.h"

#include <vector>

namespace tarnwick {

// Where the target countries come from, as the analysis engine sees it: read from any thread.
class UndesirableCountriesManagerType {
public:
    virtual ~UndesirableCountriesManagerType() = default;
    virtual std::vector<Country> currentUndesirableCountries() const = 0;
};

}  // namespace tarnwick
