#pragma once

#include "AutoLayout/Constraint.h"
#include "AutoLayout/SolverError.h"
#include "AutoLayout/Variable.h"
#include "Foundation/Result.h"

#include <cstdint>
#include <map>
#include <memory>
#include <vector>

namespace tarnwick::autolayout {

// An incremental solver for linear equalities and inequalities with strengths, after the Cassowary
// algorithm: the constraints are kept as a simplex tableau in solved form, every non-required
// constraint carries error variables weighted by its strength in the objective, and each change
// (adding or removing a constraint, suggesting a value for an edit variable) re-optimises from the
// previous solution instead of starting over.
//
// Adding a constraint:
//  1. Rewrite it as a row over the tableau's parametric symbols, adding a slack for an inequality
//     and error symbols for a non-required one.
//  2. Choose a subject to solve the row for (an outside variable, else a new slack or error with a
//     negative coefficient). Without one, minimise an artificial variable; a required constraint
//     that leaves it above zero cannot be satisfied and is refused, leaving the solver unchanged.
//  3. Run the primal simplex on the objective.
// Suggesting an edit value shifts row constants and restores feasibility with the dual simplex.
//
// Not thread safe: one solver belongs to one thread.
class Solver {
public:
    Solver();
    ~Solver();
    Solver(const Solver&) = delete;
    Solver& operator=(const Solver&) = delete;

    Result<void, SolverError> addConstraint(const Constraint& constraint);
    Result<void, SolverError> removeConstraint(const Constraint& constraint);
    bool hasConstraint(const Constraint& constraint) const;

    // An edit variable is held near the last suggested value with the given (non-required)
    // strength until it is removed.
    Result<void, SolverError> addEditVariable(const Variable& variable, double strength);
    Result<void, SolverError> removeEditVariable(const Variable& variable);
    bool hasEditVariable(const Variable& variable) const;
    Result<void, SolverError> suggestValue(const Variable& variable, double value);

    // Writes the current solution into every variable the constraints mention.
    void updateVariables();

    // Removes every constraint and edit variable.
    void reset();

private:
    struct State;
    std::unique_ptr<State> m_state;
};

}  // namespace tarnwick::autolayout
