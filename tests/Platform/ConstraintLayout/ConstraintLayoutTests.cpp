#include "ConstraintLayout/ConstraintLayout.h"

#include <QGridLayout>
#include <QLabel>
#include <QWidget>

#include <gtest/gtest.h>

namespace tarnwick {
namespace {

using namespace Qt::StringLiterals;
using A = LayoutAttribute;
using R = LayoutRelation;

LayoutConstraint make(QWidget* first, A firstAttribute, R relation, QWidget* second,
                      A secondAttribute, double multiplier, double constant,
                      float priority = layoutPriority::required) {
    LayoutConstraint constraint(first, firstAttribute, relation, second, secondAttribute,
                                multiplier, constant);
    constraint.setPriority(priority);
    const auto activated = constraint.activate();
    EXPECT_TRUE(activated) << activated.error().message;
    return constraint;
}

LayoutConstraint pin(QWidget* view, A attribute, double constant) {
    return make(view, attribute, R::equal, view->parentWidget(), attribute, 1, constant);
}

LayoutConstraint fix(QWidget* view, A dimension, double size,
                     float priority = layoutPriority::required) {
    return make(view, dimension, R::equal, nullptr, A::notAnAttribute, 0, size, priority);
}

class ConstraintLayoutTest : public ::testing::Test {
protected:
    void layOut(QSize size) {
        m_host.resize(size);
        m_host.layout()->activate();
        m_host.layout()->setGeometry(QRect(QPoint(0, 0), size));
    }
    QWidget m_host;
};

TEST_F(ConstraintLayoutTest, PlacesChildrenFromTheirConstraintsAndFollowsTheHostSize) {
    auto* header = new QWidget(&m_host);
    auto* body = new QWidget(&m_host);
    pin(header, A::top, 0);
    pin(header, A::leading, 10);
    pin(header, A::trailing, -10);
    fix(header, A::height, 40);
    make(body, A::top, R::equal, header, A::bottom, 1, 8);
    make(body, A::width, R::equal, header, A::width, 0.5, 0);
    make(body, A::centerX, R::equal, &m_host, A::centerX, 1, 0);
    pin(body, A::bottom, 0);

    layOut(QSize(400, 300));
    EXPECT_EQ(header->geometry(), QRect(10, 0, 380, 40));
    EXPECT_EQ(body->geometry(), QRect(105, 48, 190, 252));

    layOut(QSize(200, 100));
    EXPECT_EQ(header->geometry(), QRect(10, 0, 180, 40));
    EXPECT_EQ(body->geometry(), QRect(55, 48, 90, 52));
}

TEST_F(ConstraintLayoutTest, LeadingAndTrailingFollowTheLayoutDirection) {
    m_host.setLayoutDirection(Qt::RightToLeft);
    auto* view = new QWidget(&m_host);
    pin(view, A::leading, 10);
    fix(view, A::width, 50);
    pin(view, A::top, 0);
    fix(view, A::height, 10);
    layOut(QSize(200, 100));
    EXPECT_EQ(view->geometry(), QRect(140, 0, 50, 10));
}

TEST_F(ConstraintLayoutTest, PrioritiesDecideBetweenConflictingWishes) {
    auto* view = new QWidget(&m_host);
    pin(view, A::left, 0);
    pin(view, A::top, 0);
    fix(view, A::height, 10);
    fix(view, A::width, 300, layoutPriority::defaultLow);
    auto strong = fix(view, A::width, 120, layoutPriority::defaultHigh);
    layOut(QSize(400, 100));
    EXPECT_EQ(view->width(), 120);

    strong.deactivate();
    EXPECT_FALSE(strong.isActive());
    layOut(QSize(400, 100));
    EXPECT_EQ(view->width(), 300);
}

TEST_F(ConstraintLayoutTest, ChangingAConstantMovesTheView) {
    auto* view = new QWidget(&m_host);
    auto top = pin(view, A::top, 0);
    pin(view, A::left, 0);
    fix(view, A::width, 10);
    fix(view, A::height, 10);
    layOut(QSize(100, 100));
    EXPECT_EQ(view->y(), 0);
    top.setConstant(35);
    layOut(QSize(100, 100));
    EXPECT_EQ(view->y(), 35);
}

TEST_F(ConstraintLayoutTest, IntrinsicSizeHoldsUnlessRequiredConstraintsSayOtherwise) {
    auto* label = new QLabel(u"A label with some text"_s, &m_host);
    pin(label, A::left, 0);
    pin(label, A::top, 0);
    layOut(QSize(400, 100));
    EXPECT_EQ(label->size(), label->sizeHint());

    // A host that wraps a label takes its size hint from it.
    QWidget wrapper;
    auto* wrapped = new QLabel(u"Wrapped"_s, &wrapper);
    for (A edge : {A::top, A::leading, A::bottom, A::trailing}) {
        pin(wrapped, edge, 0);
    }
    EXPECT_EQ(wrapper.layout()->sizeHint(), wrapped->sizeHint());

    fix(label, A::width, 20);
    layOut(QSize(400, 100));
    EXPECT_EQ(label->width(), 20);
}

TEST_F(ConstraintLayoutTest, MinimumSizeComesFromRequiredConstraints) {
    auto* view = new QWidget(&m_host);
    pin(view, A::left, 20);
    pin(view, A::right, -20);
    pin(view, A::top, 5);
    pin(view, A::bottom, -5);
    fix(view, A::width, 100);
    fix(view, A::height, 30);
    EXPECT_EQ(m_host.layout()->minimumSize(), QSize(140, 40));
}

TEST_F(ConstraintLayoutTest, ConflictingRequiredConstraintIsRefusedWithAClearError) {
    auto* view = new QWidget(&m_host);
    fix(view, A::width, 100);
    LayoutConstraint conflicting(view, A::width, R::greaterThanOrEqual, nullptr, A::notAnAttribute,
                                 0, 150);
    const auto activated = conflicting.activate();
    ASSERT_FALSE(activated);
    EXPECT_NE(activated.error().message.find("width >= 150"), std::string::npos)
        << activated.error().message;
    EXPECT_FALSE(conflicting.isActive());
}

TEST_F(ConstraintLayoutTest, RefusesItemsItCannotPlace) {
    auto* outer = new QWidget(&m_host);
    auto* inner = new QWidget(outer);
    auto* sibling = new QWidget(&m_host);
    LayoutConstraint cousins(inner, A::left, R::equal, sibling, A::left, 1, 0);
    EXPECT_FALSE(cousins.activate());

    QWidget orphan;
    LayoutConstraint alone(&orphan, A::width, R::equal, nullptr, A::notAnAttribute, 0, 10);
    EXPECT_FALSE(alone.activate());

    QWidget gridHost;
    new QGridLayout(&gridHost);
    auto* gridChild = new QWidget(&gridHost);
    LayoutConstraint inGrid(gridChild, A::width, R::equal, nullptr, A::notAnAttribute, 0, 10);
    const auto activated = inGrid.activate();
    ASSERT_FALSE(activated);
    EXPECT_NE(activated.error().message.find("another kind"), std::string::npos);
}

TEST_F(ConstraintLayoutTest, DeletingAChildTakesItsConstraintsAlong) {
    auto* view = new QWidget(&m_host);
    auto* other = new QWidget(&m_host);
    auto linked = make(other, A::left, R::equal, view, A::right, 1, 0);
    pin(view, A::left, 0);
    ASSERT_EQ(static_cast<ConstraintLayout*>(m_host.layout())->constraints().size(), 2u);
    delete view;
    EXPECT_FALSE(linked.isActive());
    EXPECT_TRUE(static_cast<ConstraintLayout*>(m_host.layout())->constraints().empty());
    layOut(QSize(100, 100));  // nothing dangles
}

}  // namespace
}  // namespace tarnwick
