#pragma once

#include "LogLevel.h"

#include <optional>
#include <string>

namespace tarnwick {

class FilterTargetType;

// What a destination asks of each of its filters. Filters are shared objects, held by reference.
class FilterType {
public:
    virtual ~FilterType() = default;

    // The condition test on the tested text (the path, the function or the message).
    virtual bool matches(const std::optional<std::string>& text) const = 0;
    virtual const FilterTargetType& target() const = 0;
    virtual bool isRequired() const = 0;
    virtual bool isExcluded() const = 0;
    virtual bool reachesMinLevel(LogLevel level) const = 0;
};

}  // namespace tarnwick
