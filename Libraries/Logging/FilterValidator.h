#pragma once

#include "FilterType.h"

#include <cstdint>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace tarnwick {

// Measures one entry against a destination's filters, per kind of filter. Pure: no state.
class FilterValidator {
public:
    enum class ValidationType { excluded, required, nonRequired };
    static constexpr ValidationType allValidationTypes[] = {
        ValidationType::excluded, ValidationType::required, ValidationType::nonRequired};

    struct PartialMatchData {
        std::int64_t fullMatchCount = 0;
        std::int64_t conditionMatchCount = 0;
        std::int64_t logLevelMatchCount = 0;
        bool operator==(const PartialMatchData&) const = default;
    };

    struct Result {
        enum class Kind { someFiltersMatch, allFiltersMatch, noFiltersMatchingType };
        Kind kind;
        PartialMatchData partialMatch;  // meaningful for someFiltersMatch only
    };

    struct Input {
        const std::vector<std::shared_ptr<FilterType>>& filters;
        LogLevel level;
        const std::string& path;
        const std::string& function;
        const std::optional<std::string>& message;
    };

    static std::map<ValidationType, Result> validate(const Input& input,
                                                     const std::vector<ValidationType>& types);
    static Result validate(const Input& input, ValidationType type);
};

}  // namespace tarnwick
