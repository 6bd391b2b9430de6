#include "AutoLayout/Constraint.h"

#include <map>

namespace tarnwick::autolayout {

namespace {

Expression reduced(const Expression& expression) {
    std::map<Variable, double> coefficients;
    std::vector<Variable> order;
    for (const Term& term : expression.terms) {
        auto [it, inserted] = coefficients.emplace(term.variable, 0.0);
        if (inserted) {
            order.push_back(term.variable);
        }
        it->second += term.coefficient;
    }
    Expression result(expression.constant);
    for (const Variable& variable : order) {
        result.terms.push_back(Term{variable, coefficients[variable]});
    }
    return result;
}

}  // namespace

Constraint::Constraint(const Expression& lhs, Relation relation, const Expression& rhs,
                       double strength)
    : m_data(std::make_shared<Data>(Data{reduced(lhs - rhs), relation, strength})) {}

Constraint Constraint::withStrength(double newStrength) const {
    return Constraint(m_data->expression, m_data->relation, 0.0, newStrength);
}

std::string Constraint::description() const {
    const char* relation = m_data->relation == Relation::equal         ? " == 0"
                           : m_data->relation == Relation::lessOrEqual ? " <= 0"
                                                                       : " >= 0";
    return m_data->expression.description() + relation;
}

Constraint operator==(const Expression& lhs, const Expression& rhs) {
    return Constraint(lhs, Relation::equal, rhs);
}
Constraint operator<=(const Expression& lhs, const Expression& rhs) {
    return Constraint(lhs, Relation::lessOrEqual, rhs);
}
Constraint operator>=(const Expression& lhs, const Expression& rhs) {
    return Constraint(lhs, Relation::greaterOrEqual, rhs);
}
Constraint operator|(const Constraint& constraint, double strength) {
    return constraint.withStrength(strength);
}

}  // namespace tarnwick::autolayout
