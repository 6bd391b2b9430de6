#pragma once

namespace tarnwick {

// Whether the machine can reach the network: satisfied when a default route leaves through an
// interface that is up.
struct NetworkPath {
    enum class Status { satisfied, unsatisfied, requiresConnection };

    Status status = Status::unsatisfied;

    bool operator==(const NetworkPath&) const = default;
};

}  // namespace tarnwick
