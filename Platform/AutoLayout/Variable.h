#pragma once

#include <memory>
#include <string>

namespace tarnwick::autolayout {

// One unknown of a layout: a named handle whose copies all refer to the same variable. The solver
// writes the solved value back into it; identity, not the name, tells two variables apart.
class Variable {
public:
    explicit Variable(std::string name = {});

    const std::string& name() const { return m_data->name; }
    double value() const { return m_data->value; }
    void setValue(double value) { m_data->value = value; }

    // No operator==: `a == b` on two variables builds a constraint (Constraint.h).
    bool isSameAs(const Variable& other) const { return m_data == other.m_data; }
    bool operator<(const Variable& other) const { return m_data < other.m_data; }

private:
    struct Data {
        std::string name;
        double value = 0;
    };
    std::shared_ptr<Data> m_data;
};

}  // namespace tarnwick::autolayout
