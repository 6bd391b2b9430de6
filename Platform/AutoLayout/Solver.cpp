#include "AutoLayout/Solver.h"

#include <cmath>
#include <limits>
#include <optional>

namespace tarnwick::autolayout {

namespace {

constexpr double epsilon = 1.0e-8;

bool nearZero(double value) {
    return std::fabs(value) < epsilon;
}

// A column of the tableau. Outside symbols stand for the caller's variables; slacks turn
// inequalities into equalities; errors measure how far a non-required constraint is violated;
// dummies mark required equalities and never enter the basis.
struct Symbol {
    enum class Kind : std::uint8_t { invalid, external, slack, error, dummy };
    std::uint64_t id = 0;
    Kind kind = Kind::invalid;

    bool isValid() const { return kind != Kind::invalid; }
    bool isExternal() const { return kind == Kind::external; }
    bool isDummy() const { return kind == Kind::dummy; }
    // Slack and error symbols may be pivoted on when a constraint is removed or added.
    bool isPivotable() const { return kind == Kind::slack || kind == Kind::error; }
    // Restricted symbols are non-negative; outside variables are not.
    bool isRestricted() const { return kind != Kind::external; }
    bool operator<(const Symbol& other) const { return id < other.id; }
    bool operator==(const Symbol& other) const { return id == other.id; }
};

// `basic = constant + sum(coefficient * symbol)` once in the tableau; before that, the equation
// `0 = constant + sum(...)`.
struct Row {
    double constant = 0.0;
    std::map<Symbol, double> cells;

    double add(double value) { return constant += value; }

    void insert(const Symbol& symbol, double coefficient) {
        const double updated = (cells[symbol] += coefficient);
        if (nearZero(updated)) {
            cells.erase(symbol);
        }
    }

    void insert(const Row& other, double coefficient) {
        constant += other.constant * coefficient;
        for (const auto& [symbol, value] : other.cells) {
            insert(symbol, value * coefficient);
        }
    }

    void remove(const Symbol& symbol) { cells.erase(symbol); }

    void reverseSign() {
        constant = -constant;
        for (auto& cell : cells) {
            cell.second = -cell.second;
        }
    }

    // Turns `0 = ... + c * symbol + ...` into `symbol = ...`.
    void solveFor(const Symbol& symbol) {
        const double coefficient = -1.0 / cells[symbol];
        cells.erase(symbol);
        constant *= coefficient;
        for (auto& cell : cells) {
            cell.second *= coefficient;
        }
    }

    // Turns `lhs = ... + c * rhs + ...` into `rhs = ...`.
    void solveFor(const Symbol& lhs, const Symbol& rhs) {
        insert(lhs, -1.0);
        solveFor(rhs);
    }

    double coefficientFor(const Symbol& symbol) const {
        const auto it = cells.find(symbol);
        return it == cells.end() ? 0.0 : it->second;
    }

    // Replaces `symbol` by the expression `row` stands for.
    void substitute(const Symbol& symbol, const Row& row) {
        const auto it = cells.find(symbol);
        if (it == cells.end()) {
            return;
        }
        const double coefficient = it->second;
        cells.erase(it);
        insert(row, coefficient);
    }
};

// The symbols that stand for one constraint in the tableau: the slack, the error symbol or the
// dummy (`marker`) and, for non-required constraints, the second error symbol (`other`).
struct Tag {
    Symbol marker;
    Symbol other;
};

struct EditInfo {
    Tag tag;
    Constraint constraint;
    double constant = 0.0;
};

SolverError error(SolverError::Code code, std::string message) {
    return SolverError{code, std::move(message)};
}

}  // namespace

struct Solver::State {
    std::map<Constraint, Tag> constraints;
    std::map<Symbol, Row> rows;
    std::map<Variable, Symbol> variables;
    std::map<Variable, EditInfo> edits;
    std::vector<Symbol> infeasibleRows;
    Row objective;
    std::optional<Row> artificial;
    std::uint64_t nextId = 1;

    Symbol makeSymbol(Symbol::Kind kind) { return Symbol{nextId++, kind}; }

    Symbol symbolFor(const Variable& variable) {
        const auto it = variables.find(variable);
        if (it != variables.end()) {
            return it->second;
        }
        const Symbol symbol = makeSymbol(Symbol::Kind::external);
        variables.emplace(variable, symbol);
        return symbol;
    }

    Row createRow(const Constraint& constraint, Tag& tag) {
        const Expression& expression = constraint.expression();
        Row row;
        row.constant = expression.constant;
        for (const Term& term : expression.terms) {
            if (nearZero(term.coefficient)) {
                continue;
            }
            const Symbol symbol = symbolFor(term.variable);
            const auto basic = rows.find(symbol);
            if (basic != rows.end()) {
                row.insert(basic->second, term.coefficient);
            } else {
                row.insert(symbol, term.coefficient);
            }
        }

        const double strength = constraint.strength();
        switch (constraint.relation()) {
            case Relation::lessOrEqual:
            case Relation::greaterOrEqual: {
                // expression <= 0 becomes expression + slack = 0; an error term lets a weak
                // inequality give way at a cost.
                const double coefficient =
                    constraint.relation() == Relation::lessOrEqual ? 1.0 : -1.0;
                const Symbol slack = makeSymbol(Symbol::Kind::slack);
                tag.marker = slack;
                row.insert(slack, coefficient);
                if (!constraint.isRequired()) {
                    const Symbol errorSymbol = makeSymbol(Symbol::Kind::error);
                    tag.other = errorSymbol;
                    row.insert(errorSymbol, -coefficient);
                    objective.insert(errorSymbol, strength);
                }
                break;
            }
            case Relation::equal:
                if (!constraint.isRequired()) {
                    const Symbol plus = makeSymbol(Symbol::Kind::error);
                    const Symbol minus = makeSymbol(Symbol::Kind::error);
                    tag.marker = plus;
                    tag.other = minus;
                    row.insert(plus, -1.0);
                    row.insert(minus, 1.0);
                    objective.insert(plus, strength);
                    objective.insert(minus, strength);
                } else {
                    const Symbol dummy = makeSymbol(Symbol::Kind::dummy);
                    tag.marker = dummy;
                    row.insert(dummy, 1.0);
                }
                break;
        }
        // Restricted basic symbols need non-negative constants.
        if (row.constant < 0.0) {
            row.reverseSign();
        }
        return row;
    }

    static Symbol chooseSubject(const Row& row, const Tag& tag) {
        for (const auto& cell : row.cells) {
            if (cell.first.isExternal()) {
                return cell.first;
            }
        }
        if (tag.marker.isPivotable() && row.coefficientFor(tag.marker) < 0.0) {
            return tag.marker;
        }
        if (tag.other.isPivotable() && row.coefficientFor(tag.other) < 0.0) {
            return tag.other;
        }
        return Symbol{};
    }

    static bool allDummies(const Row& row) {
        for (const auto& cell : row.cells) {
            if (!cell.first.isDummy()) {
                return false;
            }
        }
        return true;
    }

    static Symbol anyPivotableSymbol(const Row& row) {
        for (const auto& cell : row.cells) {
            if (cell.first.isPivotable()) {
                return cell.first;
            }
        }
        return Symbol{};
    }

    void substitute(const Symbol& symbol, const Row& row) {
        for (auto& [basic, tableauRow] : rows) {
            tableauRow.substitute(symbol, row);
            if (basic.isRestricted() && tableauRow.constant < 0.0) {
                infeasibleRows.push_back(basic);
            }
        }
        objective.substitute(symbol, row);
        if (artificial) {
            artificial->substitute(symbol, row);
        }
    }

    // The first symbol (in creation order, which keeps the simplex from cycling) whose increase
    // lowers the objective.
    static Symbol enteringSymbol(const Row& objectiveRow) {
        for (const auto& cell : objectiveRow.cells) {
            if (!cell.first.isDummy() && cell.second < 0.0) {
                return cell.first;
            }
        }
        return Symbol{};
    }

    // The restricted row that limits the entering symbol first.
    std::map<Symbol, Row>::iterator leavingRow(const Symbol& entering) {
        double ratio = std::numeric_limits<double>::max();
        auto found = rows.end();
        for (auto it = rows.begin(); it != rows.end(); ++it) {
            if (it->first.isExternal()) {
                continue;
            }
            const double coefficient = it->second.coefficientFor(entering);
            if (coefficient < 0.0) {
                const double candidate = -it->second.constant / coefficient;
                if (candidate < ratio) {
                    ratio = candidate;
                    found = it;
                }
            }
        }
        return found;
    }

    Result<void, SolverError> optimize(Row& objectiveRow) {
        // Each pivot strictly improves or keeps the objective with Bland's order, so this ends;
        // the bound only guards against a fault of ours turning into a hang.
        for (std::size_t iteration = 0; iteration < 100000; ++iteration) {
            const Symbol entering = enteringSymbol(objectiveRow);
            if (!entering.isValid()) {
                return {};
            }
            const auto leaving = leavingRow(entering);
            if (leaving == rows.end()) {
                return Failure{error(SolverError::Code::internal, "The objective is unbounded.")};
            }
            const Symbol leavingSymbol = leaving->first;
            Row row = std::move(leaving->second);
            rows.erase(leaving);
            row.solveFor(leavingSymbol, entering);
            substitute(entering, row);
            rows.emplace(entering, std::move(row));
        }
        return Failure{error(SolverError::Code::internal, "The simplex did not converge.")};
    }

    Symbol dualEnteringSymbol(const Row& row) const {
        Symbol entering;
        double ratio = std::numeric_limits<double>::max();
        for (const auto& [symbol, coefficient] : row.cells) {
            if (coefficient > 0.0 && !symbol.isDummy()) {
                const double candidate = objective.coefficientFor(symbol) / coefficient;
                if (candidate < ratio) {
                    ratio = candidate;
                    entering = symbol;
                }
            }
        }
        return entering;
    }

    Result<void, SolverError> dualOptimize() {
        while (!infeasibleRows.empty()) {
            const Symbol leaving = infeasibleRows.back();
            infeasibleRows.pop_back();
            const auto it = rows.find(leaving);
            if (it == rows.end() || nearZero(it->second.constant) || it->second.constant >= 0.0) {
                continue;
            }
            const Symbol entering = dualEnteringSymbol(it->second);
            if (!entering.isValid()) {
                return Failure{
                    error(SolverError::Code::internal, "The dual simplex found no pivot.")};
            }
            Row row = std::move(it->second);
            rows.erase(it);
            row.solveFor(leaving, entering);
            substitute(entering, row);
            rows.emplace(entering, std::move(row));
        }
        return {};
    }

    // Adds a row that has no natural subject by minimising an artificial variable equal to it;
    // answers whether the row could be satisfied.
    Result<bool, SolverError> addWithArtificialVariable(const Row& row) {
        const Symbol art = makeSymbol(Symbol::Kind::slack);
        rows.emplace(art, row);
        artificial = row;
        if (auto optimized = optimize(*artificial); !optimized) {
            return Failure{optimized.error()};
        }
        const bool success = nearZero(artificial->constant);
        artificial.reset();

        const auto it = rows.find(art);
        if (it != rows.end()) {
            Row artRow = std::move(it->second);
            rows.erase(it);
            if (artRow.cells.empty()) {
                return success;
            }
            const Symbol entering = anyPivotableSymbol(artRow);
            if (!entering.isValid()) {
                return false;
            }
            artRow.solveFor(art, entering);
            substitute(entering, artRow);
            rows.emplace(entering, std::move(artRow));
        }
        for (auto& entry : rows) {
            entry.second.remove(art);
        }
        objective.remove(art);
        return success;
    }

    void removeMarkerEffects(const Symbol& marker, double strength) {
        const auto it = rows.find(marker);
        if (it != rows.end()) {
            objective.insert(it->second, -strength);
        } else {
            objective.insert(marker, -strength);
        }
    }

    // The row to pivot a constraint's marker out of when the marker is not basic: the restricted
    // row that limits it most, else any restricted row, else an outside one.
    std::map<Symbol, Row>::iterator markerLeavingRow(const Symbol& marker) {
        const double infinity = std::numeric_limits<double>::max();
        double negativeRatio = infinity;
        double positiveRatio = infinity;
        auto first = rows.end();
        auto second = rows.end();
        auto third = rows.end();
        for (auto it = rows.begin(); it != rows.end(); ++it) {
            const double coefficient = it->second.coefficientFor(marker);
            if (coefficient == 0.0) {
                continue;
            }
            if (it->first.isExternal()) {
                third = it;
            } else if (coefficient < 0.0) {
                const double ratio = -it->second.constant / coefficient;
                if (ratio < negativeRatio) {
                    negativeRatio = ratio;
                    first = it;
                }
            } else {
                const double ratio = it->second.constant / coefficient;
                if (ratio < positiveRatio) {
                    positiveRatio = ratio;
                    second = it;
                }
            }
        }
        if (first != rows.end()) {
            return first;
        }
        if (second != rows.end()) {
            return second;
        }
        return third;
    }
};

Solver::Solver() : m_state(std::make_unique<State>()) {}

Solver::~Solver() = default;

Result<void, SolverError> Solver::addConstraint(const Constraint& constraint) {
    State& state = *m_state;
    if (state.constraints.count(constraint) != 0) {
        return Failure{
            error(SolverError::Code::duplicateConstraint,
                  "The constraint is already in the solver: " + constraint.description())};
    }
    // A refused constraint must leave no trace, and the artificial-variable phase changes the
    // tableau before it knows the answer: keep the state to return to.
    State saved = state;
    const auto refuse = [&](SolverError failure) -> Result<void, SolverError> {
        *m_state = std::move(saved);
        return Failure{std::move(failure)};
    };

    Tag tag;
    Row row = state.createRow(constraint, tag);
    Symbol subject = State::chooseSubject(row, tag);
    if (!subject.isValid() && State::allDummies(row)) {
        if (!nearZero(row.constant)) {
            return refuse(error(SolverError::Code::unsatisfiableConstraint,
                                "Unable to satisfy the required constraint " +
                                    constraint.description() +
                                    ": it contradicts the required constraints already added."));
        }
        subject = tag.marker;
    }
    if (!subject.isValid()) {
        const auto added = state.addWithArtificialVariable(row);
        if (!added) {
            return refuse(added.error());
        }
        if (!added.value()) {
            return refuse(error(SolverError::Code::unsatisfiableConstraint,
                                "Unable to satisfy the required constraint " +
                                    constraint.description() +
                                    ": it contradicts the required constraints already added."));
        }
    } else {
        row.solveFor(subject);
        state.substitute(subject, row);
        state.rows.emplace(subject, std::move(row));
    }
    state.constraints.emplace(constraint, tag);
    if (auto optimized = state.optimize(state.objective); !optimized) {
        return refuse(optimized.error());
    }
    return {};
}

Result<void, SolverError> Solver::removeConstraint(const Constraint& constraint) {
    State& state = *m_state;
    const auto found = state.constraints.find(constraint);
    if (found == state.constraints.end()) {
        return Failure{error(SolverError::Code::unknownConstraint,
                             "The constraint is not in the solver: " + constraint.description())};
    }
    const Tag tag = found->second;
    state.constraints.erase(found);

    if (tag.marker.kind == Symbol::Kind::error) {
        state.removeMarkerEffects(tag.marker, constraint.strength());
    }
    if (tag.other.kind == Symbol::Kind::error) {
        state.removeMarkerEffects(tag.other, constraint.strength());
    }

    const auto basic = state.rows.find(tag.marker);
    if (basic != state.rows.end()) {
        state.rows.erase(basic);
    } else {
        const auto leaving = state.markerLeavingRow(tag.marker);
        if (leaving == state.rows.end()) {
            return Failure{error(SolverError::Code::internal,
                                 "No row holds the removed constraint's marker.")};
        }
        const Symbol leavingSymbol = leaving->first;
        Row row = std::move(leaving->second);
        state.rows.erase(leaving);
        row.solveFor(leavingSymbol, tag.marker);
        state.substitute(tag.marker, row);
    }
    return state.optimize(state.objective);
}

bool Solver::hasConstraint(const Constraint& constraint) const {
    return m_state->constraints.count(constraint) != 0;
}

Result<void, SolverError> Solver::addEditVariable(const Variable& variable, double strength) {
    if (m_state->edits.count(variable) != 0) {
        return Failure{error(SolverError::Code::duplicateEditVariable,
                             "The variable is already being edited: " + variable.name())};
    }
    if (strength >= strength::required) {
        return Failure{error(SolverError::Code::requiredEditVariable,
                             "An edit variable cannot be required: " + variable.name())};
    }
    const Constraint constraint = (Expression(variable) == 0.0) | strength;
    if (auto added = addConstraint(constraint); !added) {
        return added;
    }
    m_state->edits.emplace(variable,
                           EditInfo{m_state->constraints.at(constraint), constraint, 0.0});
    return {};
}

Result<void, SolverError> Solver::removeEditVariable(const Variable& variable) {
    const auto it = m_state->edits.find(variable);
    if (it == m_state->edits.end()) {
        return Failure{error(SolverError::Code::unknownEditVariable,
                             "The variable is not being edited: " + variable.name())};
    }
    const Constraint constraint = it->second.constraint;
    m_state->edits.erase(it);
    return removeConstraint(constraint);
}

bool Solver::hasEditVariable(const Variable& variable) const {
    return m_state->edits.count(variable) != 0;
}

Result<void, SolverError> Solver::suggestValue(const Variable& variable, double value) {
    State& state = *m_state;
    const auto it = state.edits.find(variable);
    if (it == state.edits.end()) {
        return Failure{error(SolverError::Code::unknownEditVariable,
                             "The variable is not being edited: " + variable.name())};
    }
    EditInfo& info = it->second;
    const double delta = value - info.constant;
    info.constant = value;

    // The edit constraint is `variable - value = plus - minus`: moving the value shifts the
    // constant of whichever row holds one of its error symbols, or of every row that mentions
    // them; rows that turn negative are then repaired by the dual simplex.
    const auto plusRow = state.rows.find(info.tag.marker);
    if (plusRow != state.rows.end()) {
        if (plusRow->second.add(-delta) < 0.0) {
            state.infeasibleRows.push_back(info.tag.marker);
        }
        return state.dualOptimize();
    }
    const auto minusRow = state.rows.find(info.tag.other);
    if (minusRow != state.rows.end()) {
        if (minusRow->second.add(delta) < 0.0) {
            state.infeasibleRows.push_back(info.tag.other);
        }
        return state.dualOptimize();
    }
    for (auto& [basic, row] : state.rows) {
        const double coefficient = row.coefficientFor(info.tag.marker);
        if (coefficient != 0.0 && row.add(delta * coefficient) < 0.0 && basic.isRestricted()) {
            state.infeasibleRows.push_back(basic);
        }
    }
    return state.dualOptimize();
}

void Solver::updateVariables() {
    for (const auto& [variable, symbol] : m_state->variables) {
        const auto it = m_state->rows.find(symbol);
        Variable target = variable;
        target.setValue(it == m_state->rows.end() ? 0.0 : it->second.constant);
    }
}

void Solver::reset() {
    m_state = std::make_unique<State>();
}

}  // namespace tarnwick::autolayout
