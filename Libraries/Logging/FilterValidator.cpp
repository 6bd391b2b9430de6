#include "FilterValidator.h"

#include "Filter.h"

namespace tarnwick {

namespace {

bool isOfType(const FilterType& filter, FilterValidator::ValidationType type) {
    switch (type) {
        case FilterValidator::ValidationType::excluded:
            return filter.isExcluded();
        case FilterValidator::ValidationType::required:
            return filter.isRequired() && !filter.isExcluded();
        case FilterValidator::ValidationType::nonRequired:
            return !filter.isRequired() && !filter.isExcluded();
    }
    return false;
}

bool conditionHolds(const FilterType& filter, const FilterValidator::Input& input) {
    switch (filter.target().kind()) {
        case FilterTargetType::Kind::Path:
            return filter.matches(input.path);
        case FilterTargetType::Kind::Function:
            return filter.matches(input.function);
        case FilterTargetType::Kind::Message:
            return input.message.has_value() && filter.matches(input.message);
    }
    return false;
}

}  // namespace

FilterValidator::Result FilterValidator::validate(const Input& input, ValidationType type) {
    std::int64_t selected = 0;
    PartialMatchData counts;
    for (const auto& filter : input.filters) {
        if (!isOfType(*filter, type)) {
            continue;
        }
        ++selected;
        const bool condition = conditionHolds(*filter, input);
        const bool level = filter->reachesMinLevel(input.level);
        if (condition && level) {
            ++counts.fullMatchCount;
        } else if (condition) {
            ++counts.conditionMatchCount;
        } else if (level) {
            ++counts.logLevelMatchCount;
        }
    }
    if (selected == 0) {
        return {Result::Kind::noFiltersMatchingType, {}};
    }
    if (counts.fullMatchCount == selected) {
        return {Result::Kind::allFiltersMatch, {}};
    }
    return {Result::Kind::someFiltersMatch, counts};
}

std::map<FilterValidator::ValidationType, FilterValidator::Result> FilterValidator::validate(
    const Input& input, const std::vector<ValidationType>& types) {
    std::map<ValidationType, Result> results;
    for (auto type : types) {
        results.emplace(type, validate(input, type));
    }
    return results;
}

}  // namespace tarnwick
