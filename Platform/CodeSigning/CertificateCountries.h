#pragma once

#include "CodeSigningError.h"
#include "Foundation/Result.h"

#include <cstdint>
#include <span>
#include <string>
#include <vector>

namespace tarnwick {

// The country values (attribute "C") of a DER certificate's subject, in the order the name gives
// them; empty when the subject names no country.
Result<std::vector<std::string>, CodeSigningError> certificateSubjectCountries(
    std::span<const std::uint8_t> der);

}  // namespace tarnwick
