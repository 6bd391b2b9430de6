#pragma once

#include <string>

namespace tarnwick::autolayout {

struct SolverError {
    enum class Code {
        duplicateConstraint,
        unknownConstraint,
        // A required constraint contradicts the required constraints already in the solver.
        unsatisfiableConstraint,
        duplicateEditVariable,
        unknownEditVariable,
        requiredEditVariable,
        // The tableau is unbounded or has no pivot where one must exist: a fault of ours.
        internal,
    };
    Code code = Code::internal;
    std::string message;
};

}  // namespace tarnwick::autolayout
