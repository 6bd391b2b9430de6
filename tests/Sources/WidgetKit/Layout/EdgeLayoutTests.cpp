#include "ConstraintLayout/ConstraintLayout.h"
#include "WidgetKit/Layout/EdgeLayout.h"

#include <QApplication>

#include <gtest/gtest.h>

namespace tarnwick {
namespace {

class EdgeLayoutTest : public ::testing::Test {
protected:
    EdgeLayoutTest() { m_host.resize(400, 300); }
    QWidget* child() { return new QWidget(&m_host); }
    void layOut() { m_host.layout()->setGeometry(QRect(QPoint(0, 0), m_host.size())); }
    QWidget m_host;
};

TEST_F(EdgeLayoutTest, PinningToTheFarEdgesNegatesTheInsetAndSwapsTheRelation) {
    QWidget* view = child();
    const LayoutConstraint right =
        EdgeLayout::autoPinEdgeToSuperviewEdge(view, ALAttributeRight, 10);
    EXPECT_EQ(right.constant(), -10);
    EXPECT_EQ(right.relation(), LayoutRelation::equal);

    const LayoutConstraint bottom = EdgeLayout::autoPinEdgeToSuperviewEdge(
        view, ALAttributeBottom, 5, LayoutRelation::lessThanOrEqual);
    EXPECT_EQ(bottom.relation(), LayoutRelation::greaterThanOrEqual);
    EXPECT_EQ(bottom.constant(), -5);

    const LayoutConstraint top = EdgeLayout::autoPinEdgeToSuperviewEdge(
        view, ALAttributeTop, 5, LayoutRelation::lessThanOrEqual);
    EXPECT_EQ(top.relation(), LayoutRelation::lessThanOrEqual);
    EXPECT_EQ(top.constant(), 5);
}

TEST_F(EdgeLayoutTest, InsetsPinTopLeadingBottomTrailingInOrder) {
    QWidget* view = child();
    const auto constraints =
        EdgeLayout::autoPinEdgesToSuperviewEdgesWithInsets(view, ALEdgeInsets{1, 2, 3, 4});
    ASSERT_EQ(constraints.size(), 4u);
    EXPECT_EQ(constraints[0].firstAttribute(), LayoutAttribute::top);
    EXPECT_EQ(constraints[1].firstAttribute(), LayoutAttribute::leading);
    EXPECT_EQ(constraints[2].firstAttribute(), LayoutAttribute::bottom);
    EXPECT_EQ(constraints[3].firstAttribute(), LayoutAttribute::trailing);
    layOut();
    EXPECT_EQ(view->geometry(), QRect(2, 1, 400 - 2 - 4, 300 - 1 - 3));
}

TEST_F(EdgeLayoutTest, ExcludingAnEdgePinsTheOtherThree) {
    struct Row {
        ALEdge excluded;
        std::vector<LayoutAttribute> pinned;
    };
    using A = LayoutAttribute;
    for (const Row& row : std::vector<Row>{{ALAttributeLeft, {A::top, A::bottom, A::right}},
                                           {ALAttributeRight, {A::top, A::left, A::bottom}},
                                           {ALAttributeTop, {A::leading, A::bottom, A::trailing}},
                                           {ALAttributeBottom, {A::top, A::leading, A::trailing}},
                                           {ALAttributeLeading, {A::top, A::bottom, A::trailing}},
                                           {ALAttributeTrailing, {A::top, A::leading, A::bottom}},
                                           {ALAttributeWidth, {}}}) {
        SCOPED_TRACE(row.excluded);
        QWidget* view = child();
        const auto constraints =
            EdgeLayout::autoPinEdgesToSuperviewEdgesWithInsets(view, ALEdgeInsets{}, row.excluded);
        std::vector<LayoutAttribute> pinned;
        for (const auto& constraint : constraints) {
            pinned.push_back(constraint.firstAttribute());
        }
        EXPECT_EQ(pinned, row.pinned);
    }
}

TEST_F(EdgeLayoutTest, CentringReturnsTheVerticalCentreFirstAndCentres) {
    QWidget* view = child();
    const auto constraints = EdgeLayout::autoCenterInSuperview(view);
    ASSERT_EQ(constraints.size(), 2u);
    EXPECT_EQ(constraints[0].firstAttribute(), LayoutAttribute::centerY);
    EXPECT_EQ(constraints[1].firstAttribute(), LayoutAttribute::centerX);
    EdgeLayout::autoSetDimensionsToSize(view, QSizeF(100, 50));
    layOut();
    EXPECT_EQ(view->geometry(), QRect(150, 125, 100, 50));
}

TEST_F(EdgeLayoutTest, PriorityBlocksStampEveryConstraintAndNest) {
    QWidget* view = child();
    std::vector<LayoutConstraint> inner, outer;
    EdgeLayout::autoSetPriority(250, [&] {
        outer.push_back(EdgeLayout::autoSetDimension(view, ALAttributeWidth, 10));
        EdgeLayout::autoSetPriority(750, [&] {
            inner.push_back(EdgeLayout::autoSetDimension(view, ALAttributeWidth, 20));
        });
        outer.push_back(EdgeLayout::autoSetDimension(view, ALAttributeHeight, 10));
    });
    EXPECT_EQ(outer[0].priority(), 250);
    EXPECT_EQ(outer[1].priority(), 250);
    EXPECT_EQ(inner[0].priority(), 750);
    EXPECT_EQ(EdgeLayout::autoSetDimension(view, ALAttributeHeight, 30).priority(),
              layoutPriority::required);
    EXPECT_FALSE(EdgeLayout::isExecutingPriorityConstraintsBlock());
}

TEST_F(EdgeLayoutTest, IdentifierBlocksNameTheConstraints) {
    QWidget* view = child();
    std::string identifier;
    EdgeLayout::autoSetIdentifier("sheet", [&] {
        identifier = EdgeLayout::autoSetDimension(view, ALAttributeWidth, 10).identifier();
    });
    EXPECT_EQ(identifier, "sheet");
}

TEST_F(EdgeLayoutTest, CollectingBlocksInstallNothingAndReturnEveryConstraintInOrder) {
    QWidget* view = child();
    const auto created = EdgeLayout::autoCreateConstraintsWithoutInstalling([&] {
        EdgeLayout::autoPinEdgesToSuperviewEdges(view);
        EdgeLayout::autoSetDimension(view, ALAttributeWidth, 10,
                                     LayoutRelation::greaterThanOrEqual);
    });
    ASSERT_EQ(created.size(), 5u);
    for (const auto& constraint : created) {
        EXPECT_FALSE(constraint.isActive());
    }
    EXPECT_EQ(created[4].firstAttribute(), LayoutAttribute::width);

    const auto installed = EdgeLayout::autoCreateAndInstallConstraints(
        [&] { EdgeLayout::autoSetDimension(view, ALAttributeHeight, 10); });
    ASSERT_EQ(installed.size(), 1u);
    EXPECT_TRUE(installed[0].isActive());
}

TEST_F(EdgeLayoutTest, FixedSizeDistributionMultipliers) {
    struct Row {
        bool insetSpacing;
        std::vector<double> multipliers;
    };
    for (const Row& row : {Row{true, {0.5, 1.0, 1.5}}, Row{false, {0.00001, 1.0, 2.0}}}) {
        QWidget host;
        host.resize(400, 100);
        std::vector<QWidget*> views{new QWidget(&host), new QWidget(&host), new QWidget(&host)};
        const auto constraints = EdgeLayout::autoDistributeViewsAlongAxisWithFixedSize(
            views, ALAttributeHorizontal, ALAttributeTop, 40, row.insetSpacing);
        std::vector<double> multipliers;
        for (const auto& constraint : constraints) {
            if (constraint.firstAttribute() == LayoutAttribute::centerX) {
                multipliers.push_back(constraint.multiplier());
            }
        }
        EXPECT_EQ(multipliers, row.multipliers);
        EdgeLayout::autoSetViewsDimension(views, ALAttributeHeight, 10);
        EdgeLayout::autoPinEdgeToSuperviewEdge(views[0], ALAttributeTop);
        host.layout()->setGeometry(QRect(0, 0, 400, 100));
        // With inset spacing the four gaps are equal: (400 - 3 * 40) / 4 = 70.
        if (row.insetSpacing) {
            EXPECT_EQ(views[0]->geometry(), QRect(70, 0, 40, 10));
            EXPECT_EQ(views[1]->geometry(), QRect(180, 0, 40, 10));
            EXPECT_EQ(views[2]->geometry(), QRect(290, 0, 40, 10));
        } else {
            EXPECT_EQ(views[0]->x(), 0);
            EXPECT_EQ(views[2]->x(), 360);
        }
    }
}

TEST_F(EdgeLayoutTest, FixedSpacingDistributionSharesTheRow) {
    std::vector<QWidget*> views{child(), child(), child()};
    EdgeLayout::autoDistributeViewsAlongAxis(views, ALAttributeHorizontal, ALAttributeTop, 10);
    EdgeLayout::autoPinEdgeToSuperviewEdge(views[0], ALAttributeTop);
    EdgeLayout::autoSetViewsDimension(views, ALAttributeHeight, 20);
    layOut();
    EXPECT_EQ(views[0]->geometry(), QRect(10, 0, 120, 20));
    EXPECT_EQ(views[1]->geometry(), QRect(140, 0, 120, 20));
    EXPECT_EQ(views[2]->geometry(), QRect(270, 0, 120, 20));
}

TEST_F(EdgeLayoutTest, PreconditionsAreReportedWithTheirMessages) {
    const auto message = [](const std::function<void()>& call) -> std::string {
        try {
            call();
        } catch (const EdgeLayoutViolation& violation) {
            return violation.what();
        }
        return "no violation";
    };
    QWidget* one = child();
    QWidget orphan;
    EXPECT_EQ(message([&] {
                  EdgeLayout::autoDistributeViewsAlongAxisWithFixedSize(
                      {one}, ALAttributeHorizontal, ALAttributeTop, 10, false);
              }),
              "This array must contain at least 2 views to distribute without inset spacing.");
    EXPECT_EQ(message([&] { EdgeLayout::autoAlignViewsToAxis({one}, ALAttributeVertical); }),
              "This array must contain at least 2 views.");
    EXPECT_EQ(message([&] {
                  EdgeLayout::autoDistributeViewsAlongAxis({one, child()}, ALAttributeHorizontal,
                                                           ALAttributeLeft, 10);
              }),
              "Cannot align views that are distributed horizontally with ALAttributeLeft.");
    EXPECT_EQ(message([&] {
                  EdgeLayout::autoDistributeViewsAlongAxis({one, child()}, ALAttributeVertical,
                                                           ALAttributeWidth, 10);
              }),
              "Unsupported attribute for alignment.");
    EXPECT_EQ(
        message([&] { EdgeLayout::autoDistributeViewsAlongAxis({one}, 4, ALAttributeTop, 1); }),
        "Not a valid ALAxis.");
    EXPECT_EQ(message([&] { EdgeLayout::layoutAttributeForAttribute(12); }),
              "Not a valid ALAttribute.");
    EXPECT_EQ(message([&] {
                  EdgeLayout::autoPinEdgeToSuperviewEdge(&orphan, ALAttributeTop);
              }).rfind("View's superview must not be nil.\nView: ", 0),
              0u);
    EXPECT_EQ(message([&] { EdgeLayout::autoSetPriority(250, nullptr); }),
              "The constraints block cannot be nil.");
    EXPECT_NE(message([&] {
                  EdgeLayout::autoSetContentHuggingPriorityForAxis(one, ALAttributeVertical);
              }).find("should only be called from within the block"),
              std::string::npos);
    EXPECT_EQ(message([&] { EdgeLayout::commonSuperview(one, &orphan); }),
              "Can't constrain two views that do not share a common superview. Make sure that "
              "both views have been added into the same view hierarchy.");
    // A violation inside a block leaves the block state balanced.
    EXPECT_NE(message([&] {
                  EdgeLayout::autoSetPriority(250, [] { throw EdgeLayoutViolation("inner"); });
              }),
              "no violation");
    EXPECT_FALSE(EdgeLayout::isExecutingPriorityConstraintsBlock());
}

TEST_F(EdgeLayoutTest, HuggingSetInsideAPriorityBlockReachesTheLayout) {
    QWidget* view = child();
    EdgeLayout::autoSetPriority(700, [&] {
        EdgeLayout::autoSetContentHuggingPriorityForAxis(view, ALAttributeHorizontal);
    });
    auto* layout = qobject_cast<ConstraintLayout*>(m_host.layout());
    ASSERT_NE(layout, nullptr);
    EXPECT_EQ(layout->contentHuggingPriority(view, Qt::Horizontal), 700);
}

}  // namespace
}  // namespace tarnwick
