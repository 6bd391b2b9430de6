#include "AutoLayout/Solver.h"

#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

namespace tarnwick::autolayout {
namespace {

// A horizontal span of a view, as a layout sees it.
struct Span {
    Variable left;
    Variable width;
    Expression right() const { return left + width; }
    Expression center() const { return left + width * 0.5; }
    explicit Span(const std::string& name) : left(name + ".left"), width(name + ".width") {}
};

struct LayoutCase {
    std::string name;
    // Builds constraints over a container [0, 400] and views a, b, c.
    std::function<std::vector<Constraint>(const Span&, const Span&, const Span&)> build;
    // Expected left and width of a, b, c.
    std::vector<double> expected;
};

void PrintTo(const LayoutCase& layout, std::ostream* out) {
    *out << layout.name;
}

class SolverLayoutTest : public ::testing::TestWithParam<LayoutCase> {};

TEST_P(SolverLayoutTest, SolvesTheLayout) {
    const LayoutCase& layout = GetParam();
    Span a("a"), b("b"), c("c");
    Solver solver;
    for (const Constraint& constraint : layout.build(a, b, c)) {
        const auto added = solver.addConstraint(constraint);
        ASSERT_TRUE(added) << added.error().message;
    }
    solver.updateVariables();
    const std::vector<double> actual = {a.left.value(),  a.width.value(), b.left.value(),
                                        b.width.value(), c.left.value(),  c.width.value()};
    for (std::size_t i = 0; i < layout.expected.size(); ++i) {
        EXPECT_NEAR(actual[i], layout.expected[i], 1e-6) << "value " << i;
    }
}

const double W = 400;
// Keeps views that a case does not place at zero, so every case is fully determined.
std::vector<Constraint> rest(std::vector<Constraint> constraints, const Span& s) {
    constraints.push_back(Expression(s.left) == 0.0);
    constraints.push_back(Expression(s.width) == 0.0);
    return constraints;
}

INSTANTIATE_TEST_SUITE_P(
    Layouts, SolverLayoutTest,
    ::testing::Values(
        LayoutCase{"PinsToBothEdgesWithInsets",
                   [](const Span& a, const Span& b, const Span& c) {
                       return rest(rest({Expression(a.left) == 10.0, a.right() == W - 20}, b), c);
                   },
                   {10, 370, 0, 0, 0, 0}},
        LayoutCase{"CentresAFixedSize",
                   [](const Span& a, const Span& b, const Span& c) {
                       return rest(rest({Expression(a.width) == 100.0, a.center() == W / 2}, b), c);
                   },
                   {150, 100, 0, 0, 0, 0}},
        LayoutCase{"MatchesWidthWithMultiplierAndOffset",
                   [](const Span& a, const Span& b, const Span& c) {
                       return rest({Expression(a.left) == 0.0, Expression(a.width) == 120.0,
                                    Expression(b.left) == a.right() + 8,
                                    Expression(b.width) == a.width * 0.5 + 4},
                                   c);
                   },
                   {0, 120, 128, 64, 0, 0}},
        LayoutCase{"DistributesWithFixedSpacingAndMatchedSizes",
                   [](const Span& a, const Span& b, const Span& c) {
                       return std::vector<Constraint>{Expression(a.left) == 10.0,
                                                      Expression(b.left) == a.right() + 10,
                                                      Expression(c.left) == b.right() + 10,
                                                      c.right() == W - 10,
                                                      Expression(b.width) == a.width,
                                                      Expression(c.width) == b.width};
                   },
                   {10, 120, 140, 120, 270, 120}},
        LayoutCase{"StrongerPreferenceWins",
                   [](const Span& a, const Span& b, const Span& c) {
                       return rest(rest({Expression(a.left) == 0.0,
                                         (Expression(a.width) == 300.0) | strength::weak,
                                         (Expression(a.width) == 200.0) | strength::strong,
                                         (Expression(a.width) == 100.0) | strength::medium},
                                        b),
                                   c);
                   },
                   {0, 200, 0, 0, 0, 0}},
        LayoutCase{"RequiredBoundBeatsAnyPreference",
                   [](const Span& a, const Span& b, const Span& c) {
                       return rest(rest({Expression(a.left) == 0.0, a.width <= 150.0,
                                         (Expression(a.width) == 300.0) | strength::strong},
                                        b),
                                   c);
                   },
                   {0, 150, 0, 0, 0, 0}},
        LayoutCase{"WeakInequalityGivesWayToRequiredEquality",
                   [](const Span& a, const Span& b, const Span& c) {
                       return rest(
                           rest({Expression(a.left) == 0.0, a.width >= 50.0,
                                 (a.width <= 30.0) | strength::weak, Expression(a.width) == 80.0},
                                b),
                           c);
                   },
                   {0, 80, 0, 0, 0, 0}},
        LayoutCase{"EqualPreferencesMeetBetweenBounds",
                   [](const Span& a, const Span& b, const Span& c) {
                       // Two views share a row; each wants 300 but the row is 400 wide.
                       return rest({Expression(a.left) == 0.0, Expression(b.left) == a.right(),
                                    b.right() == W, Expression(b.width) == a.width,
                                    (Expression(a.width) == 300.0) | strength::medium},
                                   c);
                   },
                   {0, 200, 200, 200, 0, 0}}),
    [](const ::testing::TestParamInfo<LayoutCase>& param) { return param.param.name; });

TEST(SolverTest, ConflictingRequiredConstraintIsRefusedWithItsDescriptionAndChangesNothing) {
    Variable width("view.width");
    Solver solver;
    ASSERT_TRUE(solver.addConstraint(Expression(width) == 100.0));
    ASSERT_TRUE(solver.addConstraint((Expression(width) == 20.0) | strength::weak));

    const Constraint conflicting = width >= 150.0;
    const auto added = solver.addConstraint(conflicting);
    ASSERT_FALSE(added);
    EXPECT_EQ(added.error().code, SolverError::Code::unsatisfiableConstraint);
    EXPECT_NE(added.error().message.find("view.width"), std::string::npos) << added.error().message;
    EXPECT_FALSE(solver.hasConstraint(conflicting));

    solver.updateVariables();
    EXPECT_DOUBLE_EQ(width.value(), 100.0);
    // The solver still works after the refusal.
    Variable other("other");
    ASSERT_TRUE(solver.addConstraint(Expression(other) == width * 2));
    solver.updateVariables();
    EXPECT_DOUBLE_EQ(other.value(), 200.0);
}

TEST(SolverTest, ContradictoryConstantsAreRefused) {
    Variable x("x");
    Solver solver;
    ASSERT_TRUE(solver.addConstraint(Expression(x) == 10.0));
    const auto added = solver.addConstraint(Expression(x) == 11.0);
    ASSERT_FALSE(added);
    EXPECT_EQ(added.error().code, SolverError::Code::unsatisfiableConstraint);
}

TEST(SolverTest, DuplicateAndUnknownConstraintsAreErrors) {
    Variable x("x");
    Solver solver;
    const Constraint constraint = Expression(x) == 1.0;
    ASSERT_TRUE(solver.addConstraint(constraint));
    EXPECT_EQ(solver.addConstraint(constraint).error().code,
              SolverError::Code::duplicateConstraint);
    ASSERT_TRUE(solver.removeConstraint(constraint));
    EXPECT_EQ(solver.removeConstraint(constraint).error().code,
              SolverError::Code::unknownConstraint);
}

TEST(SolverTest, RemovingAConstraintLetsTheNextStrongestHold) {
    Variable x("x");
    Solver solver;
    const Constraint strong = (Expression(x) == 50.0) | strength::strong;
    ASSERT_TRUE(solver.addConstraint(strong));
    ASSERT_TRUE(solver.addConstraint((Expression(x) == 10.0) | strength::weak));
    solver.updateVariables();
    EXPECT_NEAR(x.value(), 50.0, 1e-9);

    ASSERT_TRUE(solver.removeConstraint(strong));
    solver.updateVariables();
    EXPECT_NEAR(x.value(), 10.0, 1e-9);

    const Constraint required = x >= 30.0;
    ASSERT_TRUE(solver.addConstraint(required));
    solver.updateVariables();
    EXPECT_NEAR(x.value(), 30.0, 1e-9);
    ASSERT_TRUE(solver.removeConstraint(required));
    solver.updateVariables();
    EXPECT_NEAR(x.value(), 10.0, 1e-9);
}

TEST(SolverTest, EditVariablesFollowSuggestionsWithinRequiredBounds) {
    // A container whose width is edited, a child pinned 10 inside both edges with a minimum width.
    Variable containerWidth("container.width");
    Variable left("child.left");
    Variable width("child.width");
    Solver solver;
    ASSERT_TRUE(solver.addEditVariable(containerWidth, strength::strong));
    ASSERT_TRUE(solver.addConstraint(Expression(left) == 10.0));
    ASSERT_TRUE(solver.addConstraint(left + width == containerWidth - 10));
    ASSERT_TRUE(solver.addConstraint(width >= 40.0));

    struct Step {
        double suggested;
        double containerWidth;
        double childWidth;
    };
    for (const Step& step :
         std::vector<Step>{{300, 300, 280}, {100, 100, 80}, {30, 60, 40}, {500, 500, 480}}) {
        SCOPED_TRACE(step.suggested);
        ASSERT_TRUE(solver.suggestValue(containerWidth, step.suggested));
        solver.updateVariables();
        EXPECT_NEAR(containerWidth.value(), step.containerWidth, 1e-6);
        EXPECT_NEAR(width.value(), step.childWidth, 1e-6);
    }
}

TEST(SolverTest, EditVariableErrors) {
    Variable x("x");
    Solver solver;
    EXPECT_EQ(solver.suggestValue(x, 1).error().code, SolverError::Code::unknownEditVariable);
    EXPECT_EQ(solver.addEditVariable(x, strength::required).error().code,
              SolverError::Code::requiredEditVariable);
    ASSERT_TRUE(solver.addEditVariable(x, strength::medium));
    EXPECT_EQ(solver.addEditVariable(x, strength::medium).error().code,
              SolverError::Code::duplicateEditVariable);
    ASSERT_TRUE(solver.removeEditVariable(x));
    EXPECT_FALSE(solver.hasEditVariable(x));
    EXPECT_EQ(solver.removeEditVariable(x).error().code, SolverError::Code::unknownEditVariable);
}

TEST(SolverTest, ManyIncrementalChangesStayConsistent) {
    // A chain of twenty views across a width that changes: every view gets an equal share.
    const int count = 20;
    std::vector<Span> views;
    for (int i = 0; i < count; ++i) {
        views.emplace_back("v" + std::to_string(i));
    }
    Variable total("total");
    Solver solver;
    ASSERT_TRUE(solver.addEditVariable(total, strength::strong));
    ASSERT_TRUE(solver.addConstraint(Expression(views[0].left) == 0.0));
    for (int i = 1; i < count; ++i) {
        ASSERT_TRUE(solver.addConstraint(Expression(views[i].left) == views[i - 1].right()));
        ASSERT_TRUE(solver.addConstraint(Expression(views[i].width) == views[i - 1].width));
    }
    ASSERT_TRUE(solver.addConstraint(views.back().right() == total));
    for (double width : {200.0, 1000.0, 20.0, 640.0}) {
        ASSERT_TRUE(solver.suggestValue(total, width));
        solver.updateVariables();
        for (int i = 0; i < count; ++i) {
            EXPECT_NEAR(views[i].width.value(), width / count, 1e-6);
            EXPECT_NEAR(views[i].left.value(), i * width / count, 1e-6);
        }
    }
}

}  // namespace
}  // namespace tarnwick::autolayout
