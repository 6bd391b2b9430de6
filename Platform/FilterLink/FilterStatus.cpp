#include "FilterStatus.h"

#include "FilterLinkProtocol.h"

#include <utility>

namespace tarnwick {

std::string FilterStatus::fault() const {
    if (isSound()) {
        return {};
    }
    if (!problem.empty()) {
        return problem;
    }
    if (!running) {
        return "the filter is not running";
    }
    return !rulesInPlace ? "the firewall rules are missing" : "the packet queue is not bound";
}

Value FilterStatus::toValue() const {
    return Value(Value::Dictionary{{filterlink::kStatusEnabled, Value(enabled)},
                                   {filterlink::kStatusRunning, Value(running)},
                                   {filterlink::kStatusRulesInPlace, Value(rulesInPlace)},
                                   {filterlink::kStatusQueueBound, Value(queueBound)},
                                   {filterlink::kStatusProblem, Value(problem)}});
}

std::optional<FilterStatus> FilterStatus::fromValue(const Value& value) {
    if (value.asDictionary() == nullptr) {
        return std::nullopt;
    }
    FilterStatus status;
    for (auto [key, field] : {std::pair{filterlink::kStatusEnabled, &status.enabled},
                              std::pair{filterlink::kStatusRunning, &status.running},
                              std::pair{filterlink::kStatusRulesInPlace, &status.rulesInPlace},
                              std::pair{filterlink::kStatusQueueBound, &status.queueBound}}) {
        const Value* flag = value.find(key);
        if (flag == nullptr || !flag->asBool()) {
            return std::nullopt;
        }
        *field = *flag->asBool();
    }
    const Value* problem = value.find(filterlink::kStatusProblem);
    if (problem == nullptr || !problem->asString()) {
        return std::nullopt;
    }
    // The text is only ever logged: a long one is cut rather than refused.
    constexpr std::size_t kMaximumProblemLength = 1000;
    status.problem = problem->asString()->substr(0, kMaximumProblemLength);
    return status;
}

}  // namespace tarnwick
