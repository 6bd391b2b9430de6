#pragma once

#include "Foundation/Value.h"

#include <optional>
#include <string>

namespace tarnwick {

// What the extension host finds when asked how its filter is doing: whether the configuration
// asks for the filter and, when it does, whether the filter works: the provider runs, the rules
// that bring new connections to its queue are in place, and the kernel has that queue bound to
// it. Traffic plays no part: a quiet network says nothing about the filter.
struct FilterStatus {
    bool enabled = false;
    bool running = false;
    bool rulesInPlace = false;
    bool queueBound = false;
    // What is wrong, in the host's words; empty when nothing is.
    std::string problem;

    bool operator==(const FilterStatus&) const = default;

    // Off as configured, or on and working.
    bool isSound() const { return !enabled || (running && rulesInPlace && queueBound); }
    // Why the filter does not work; empty when it is sound.
    std::string fault() const;

    Value toValue() const;
    // Nothing when the value is not a status dictionary.
    static std::optional<FilterStatus> fromValue(const Value& value);
};

}  // namespace tarnwick
