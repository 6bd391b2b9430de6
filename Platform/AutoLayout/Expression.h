#pragma once

#include "AutoLayout/Variable.h"

#include <string>
#include <vector>

namespace tarnwick::autolayout {

// coefficient x variable
struct Term {
    Variable variable;
    double coefficient = 1.0;
};

// A linear expression: a sum of terms plus a constant. Built with the operators below, so a layout
// reads as `right == left + width * 0.5 + 10`.
struct Expression {
    std::vector<Term> terms;
    double constant = 0.0;

    Expression() = default;
    Expression(double value) : constant(value) {}
    Expression(const Variable& variable) : terms{{variable, 1.0}} {}
    Expression(const Term& term) : terms{term} {}

    // The value with the variables' current values.
    double value() const;
    // Readable form for error messages: "2 * view.left + 10".
    std::string description() const;
};

Term operator*(const Variable& variable, double coefficient);
Term operator*(double coefficient, const Variable& variable);
Term operator-(const Variable& variable);
Expression operator*(const Expression& expression, double coefficient);
Expression operator*(double coefficient, const Expression& expression);
Expression operator/(const Expression& expression, double divisor);
Expression operator-(const Expression& expression);
Expression operator+(const Expression& lhs, const Expression& rhs);
Expression operator-(const Expression& lhs, const Expression& rhs);

}  // namespace tarnwick::autolayout
