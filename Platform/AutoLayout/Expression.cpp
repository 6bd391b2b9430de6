#include "AutoLayout/Expression.h"

#include <cmath>
#include <sstream>

namespace tarnwick::autolayout {

double Expression::value() const {
    double result = constant;
    for (const Term& term : terms) {
        result += term.coefficient * term.variable.value();
    }
    return result;
}

std::string Expression::description() const {
    std::ostringstream out;
    bool first = true;
    for (const Term& term : terms) {
        const double magnitude = std::fabs(term.coefficient);
        if (first) {
            if (term.coefficient < 0) {
                out << "-";
            }
        } else {
            out << (term.coefficient < 0 ? " - " : " + ");
        }
        if (magnitude != 1.0) {
            out << magnitude << " * ";
        }
        out << (term.variable.name().empty() ? "?" : term.variable.name());
        first = false;
    }
    if (first) {
        out << constant;
    } else if (constant != 0) {
        out << (constant < 0 ? " - " : " + ") << std::fabs(constant);
    }
    return out.str();
}

Term operator*(const Variable& variable, double coefficient) {
    return Term{variable, coefficient};
}
Term operator*(double coefficient, const Variable& variable) {
    return Term{variable, coefficient};
}
Term operator-(const Variable& variable) {
    return Term{variable, -1.0};
}

Expression operator*(const Expression& expression, double coefficient) {
    Expression result = expression;
    for (Term& term : result.terms) {
        term.coefficient *= coefficient;
    }
    result.constant *= coefficient;
    return result;
}

Expression operator*(double coefficient, const Expression& expression) {
    return expression * coefficient;
}

Expression operator/(const Expression& expression, double divisor) {
    return expression * (1.0 / divisor);
}

Expression operator-(const Expression& expression) {
    return expression * -1.0;
}

Expression operator+(const Expression& lhs, const Expression& rhs) {
    Expression result = lhs;
    result.terms.insert(result.terms.end(), rhs.terms.begin(), rhs.terms.end());
    result.constant += rhs.constant;
    return result;
}

Expression operator-(const Expression& lhs, const Expression& rhs) {
    return lhs + rhs * -1.0;
}

}  // namespace tarnwick::autolayout
