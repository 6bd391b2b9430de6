#pragma once

#include <optional>
#include <type_traits>

namespace tarnwick {

// The first of `cases` whose `rawValue(case)` equals `raw`; nothing when none does. The one way an
// enumeration is read back from its stored or shown text, so each needs only its list of cases
// and its `rawValue`.
template <typename Cases, typename Raw>
auto caseFromRawValue(const Cases& cases, const Raw& raw)
    -> std::optional<std::decay_t<decltype(*std::begin(cases))>> {
    for (const auto candidate : cases) {
        if (rawValue(candidate) == raw) {
            return candidate;
        }
    }
    return std::nullopt;
}

}  // namespace tarnwick
