#pragma once

#include "AutoLayout/Expression.h"
#include "AutoLayout/Strength.h"

#include <memory>
#include <string>

namespace tarnwick::autolayout {

enum class Relation { lessOrEqual, equal, greaterOrEqual };

// One linear relation `expression <relation> 0` with a strength. Copies share identity, so the
// handle that added a constraint to a solver also removes it.
class Constraint {
public:
    Constraint(const Expression& lhs, Relation relation, const Expression& rhs,
               double strength = strength::required);

    // The relation, rewritten as lhs - rhs with like terms merged.
    const Expression& expression() const { return m_data->expression; }
    Relation relation() const { return m_data->relation; }
    double strength() const { return m_data->strength; }
    bool isRequired() const { return m_data->strength >= strength::required; }

    // The same relation at another strength (a new constraint).
    Constraint withStrength(double strength) const;

    std::string description() const;

    bool operator==(const Constraint& other) const { return m_data == other.m_data; }
    bool operator<(const Constraint& other) const { return m_data < other.m_data; }

private:
    struct Data {
        Expression expression;
        Relation relation;
        double strength;
    };
    std::shared_ptr<const Data> m_data;
};

Constraint operator==(const Expression& lhs, const Expression& rhs);
Constraint operator<=(const Expression& lhs, const Expression& rhs);
Constraint operator>=(const Expression& lhs, const Expression& rhs);
// `constraint | strength::weak`
Constraint operator|(const Constraint& constraint, double strength);

}  // namespace tarnwick::autolayout
