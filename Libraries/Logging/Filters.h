#pragma once

#include "Filter.h"

#include <memory>
#include <string>
#include <vector>

namespace tarnwick {

// Makes filters for one target kind: `Filters::Path::contains({"Network"})` and so on.
template <FilterTargetType::Kind TargetKind>
class FilterFactory {
public:
    using Strings = std::vector<std::string>;
    using Kind = FilterComparisonType::Kind;

    static std::shared_ptr<FilterType> startsWith(Strings strings, bool caseSensitive = false,
                                                  bool required = false,
                                                  LogLevel minLevel = LogLevel::verbose) {
        return make(FilterComparisonType(Kind::StartsWith, std::move(strings), caseSensitive),
                    required, minLevel);
    }
    static std::shared_ptr<FilterType> contains(Strings strings, bool caseSensitive = false,
                                                bool required = false,
                                                LogLevel minLevel = LogLevel::verbose) {
        return make(FilterComparisonType(Kind::Contains, std::move(strings), caseSensitive),
                    required, minLevel);
    }
    static std::shared_ptr<FilterType> excludes(Strings strings, bool caseSensitive = false,
                                                bool required = false,
                                                LogLevel minLevel = LogLevel::verbose) {
        return make(FilterComparisonType(Kind::Excludes, std::move(strings), caseSensitive),
                    required, minLevel);
    }
    static std::shared_ptr<FilterType> endsWith(Strings strings, bool caseSensitive = false,
                                                bool required = false,
                                                LogLevel minLevel = LogLevel::verbose) {
        return make(FilterComparisonType(Kind::EndsWith, std::move(strings), caseSensitive),
                    required, minLevel);
    }
    static std::shared_ptr<FilterType> equals(Strings strings, bool caseSensitive = false,
                                              bool required = false,
                                              LogLevel minLevel = LogLevel::verbose) {
        return make(FilterComparisonType(Kind::Equals, std::move(strings), caseSensitive), required,
                    minLevel);
    }
    static std::shared_ptr<FilterType> custom(bool required, LogLevel minLevel,
                                              FilterComparisonType::Predicate predicate) {
        return make(FilterComparisonType(std::move(predicate)), required, minLevel);
    }

private:
    static std::shared_ptr<FilterType> make(FilterComparisonType comparison, bool required,
                                            LogLevel minLevel) {
        return std::make_shared<CompareFilter>(FilterTargetType(TargetKind, std::move(comparison)),
                                               required, minLevel);
    }
};

using PathFilterFactory = FilterFactory<FilterTargetType::Kind::Path>;
using FunctionFilterFactory = FilterFactory<FilterTargetType::Kind::Function>;
using MessageFilterFactory = FilterFactory<FilterTargetType::Kind::Message>;

struct Filters {
    using Path = PathFilterFactory;
    using Function = FunctionFilterFactory;
    using Message = MessageFilterFactory;
};

}  // namespace tarnwick
