#include "WidgetKit/Layout/EdgeLayout.h"

#include "ConstraintLayout/ConstraintLayout.h"

#include <QApplication>
#include <QThread>

namespace tarnwick {

namespace {

[[noreturn]] void violation(const std::string& message) {
    throw EdgeLayoutViolation(message);
}

// The process-wide state of the blocks.
struct GlobalState {
    std::vector<EdgeLayout::Constraints> createdConstraints;
    std::vector<float> priorities;
    std::vector<std::string> identifiers;
    bool installing = false;
};

GlobalState& state() {
    if (QCoreApplication::instance() != nullptr &&
        QThread::currentThread() != QCoreApplication::instance()->thread()) {
        violation(
            "EdgeLayout is not thread safe, and must be used exclusively from the main thread.");
    }
    static GlobalState global;
    return global;
}

bool preventAutomaticInstallation() {
    GlobalState& global = state();
    return !global.installing && !global.createdConstraints.empty();
}

void applyGlobalState(LayoutConstraint& constraint) {
    GlobalState& global = state();
    if (!global.priorities.empty()) {
        constraint.setPriority(global.priorities.back());
    }
    if (!global.identifiers.empty()) {
        constraint.setIdentifier(global.identifiers.back());
    }
}

void activate(LayoutConstraint& constraint) {
    const auto activated = constraint.activate();
    if (!activated) {
        // A conflict between constraints is a layout fault that the screen survives, as with
        // any constraint layout: say which one, leave it out.
        qWarning("%s", activated.error().message.c_str());
    }
}

LayoutRelation inverse(LayoutRelation relation) {
    switch (relation) {
        case LayoutRelation::lessThanOrEqual:
            return LayoutRelation::greaterThanOrEqual;
        case LayoutRelation::greaterThanOrEqual:
            return LayoutRelation::lessThanOrEqual;
        case LayoutRelation::equal:
            break;
    }
    return LayoutRelation::equal;
}

LayoutConstraint build(QWidget* view, ALAttribute attribute, QWidget* other,
                       ALAttribute otherAttribute, double multiplier, double constant,
                       LayoutRelation relation) {
    EdgeLayout::configureForAutoLayout(view);
    LayoutConstraint constraint(
        view, EdgeLayout::layoutAttributeForAttribute(attribute), relation, other,
        other != nullptr ? EdgeLayout::layoutAttributeForAttribute(otherAttribute)
                         : LayoutAttribute::notAnAttribute,
        multiplier, constant);
    EdgeLayout::autoInstall(constraint);
    return constraint;
}

const char* caseName(int attribute) {
    switch (attribute) {
        case ALAttributeLeft:
            return "ALAttributeLeft";
        case ALAttributeRight:
            return "ALAttributeRight";
        case ALAttributeTop:
            return "ALAttributeTop";
        case ALAttributeBottom:
            return "ALAttributeBottom";
        case ALAttributeLeading:
            return "ALAttributeLeading";
        case ALAttributeTrailing:
            return "ALAttributeTrailing";
        case ALAttributeVertical:
            return "ALAttributeVertical";
        case ALAttributeHorizontal:
            return "ALAttributeHorizontal";
        case ALAttributeBaseline:
            return "ALAttributeBaseline";
        default:
            return "";
    }
}

EdgeLayout::Views viewsOnly(const EdgeLayout::Views& views) {
    EdgeLayout::Views result;
    for (QWidget* view : views) {
        if (view != nullptr) {
            result.push_back(view);
        }
    }
    return result;
}

EdgeLayout::Views atLeast(const EdgeLayout::Views& views, std::size_t minimum) {
    EdgeLayout::Views result = viewsOnly(views);
    if (result.size() < minimum) {
        violation(minimum == 1 ? "This array must contain at least 1 view."
                               : "This array must contain at least 2 views.");
    }
    return result;
}

// Aligns a distributed view to the one before it, across the axis of distribution.
LayoutConstraint alignAttribute(QWidget* view, ALAttribute attribute, QWidget* previous,
                                ALAxis axis) {
    const bool stacked = axis == ALAttributeVertical;
    switch (attribute) {
        case ALAttributeLeft:
        case ALAttributeRight:
        case ALAttributeLeading:
        case ALAttributeTrailing:
        case ALAttributeVertical:
        case ALAttributeTop:
        case ALAttributeBottom:
        case ALAttributeHorizontal:
        case ALAttributeBaseline: {
            const bool meaningfulStacked =
                attribute == ALAttributeLeft || attribute == ALAttributeRight ||
                attribute == ALAttributeLeading || attribute == ALAttributeTrailing ||
                attribute == ALAttributeVertical;
            if (meaningfulStacked != stacked) {
                violation(std::string("Cannot align views that are distributed ") +
                          (stacked ? "vertically" : "horizontally") + " with " +
                          caseName(attribute) + ".");
            }
            if (attribute == ALAttributeVertical || attribute == ALAttributeHorizontal ||
                attribute == ALAttributeBaseline) {
                return EdgeLayout::autoAlignAxis(view, attribute, previous);
            }
            return EdgeLayout::autoPinEdge(view, attribute, attribute, previous);
        }
        default:
            break;
    }
    violation("Unsupported attribute for alignment.");
}

struct DistributionAttributes {
    ALAttribute firstEdge, lastEdge, dimension, centre;
};

DistributionAttributes distributionAttributes(ALAxis axis) {
    if (axis == ALAttributeVertical) {
        return {ALAttributeTop, ALAttributeBottom, ALAttributeHeight, ALAttributeHorizontal};
    }
    if (axis == ALAttributeHorizontal || axis == ALAttributeBaseline) {
        return {ALAttributeLeading, ALAttributeTrailing, ALAttributeWidth, ALAttributeVertical};
    }
    violation("Not a valid ALAxis.");
}

}  // namespace

QWidget* EdgeLayout::configureForAutoLayout(QWidget* view) {
    if (view != nullptr && view->parentWidget() != nullptr) {
        // Joining the parent's constraint layout is what turns off placement by other means.
        if (ConstraintLayout::forWidget(view->parentWidget()) == nullptr) {
            violation("The superview already has a layout of another kind.");
        }
    }
    return view;
}

EdgeLayout::Constraints EdgeLayout::autoCenterInSuperview(QWidget* view) {
    Constraints constraints;
    constraints.push_back(autoAlignAxisToSuperviewAxis(view, ALAttributeHorizontal));
    constraints.push_back(autoAlignAxisToSuperviewAxis(view, ALAttributeVertical));
    return constraints;
}

LayoutConstraint EdgeLayout::autoAlignAxisToSuperviewAxis(QWidget* view, ALAxis axis) {
    configureForAutoLayout(view);
    QWidget* superview = view->parentWidget();
    if (superview == nullptr) {
        violation("View's superview must not be nil.\nView: " +
                  std::string(view->metaObject()->className()));
    }
    return build(view, ALAttribute(axis), superview, ALAttribute(axis), 1, 0,
                 LayoutRelation::equal);
}

LayoutConstraint EdgeLayout::autoPinEdgeToSuperviewEdge(QWidget* view, ALEdge edge, double inset,
                                                        LayoutRelation relation) {
    configureForAutoLayout(view);
    QWidget* superview = view->parentWidget();
    if (superview == nullptr) {
        violation("View's superview must not be nil.\nView: " +
                  std::string(view->metaObject()->className()));
    }
    // A positive inset always moves the edge inwards, and less-or-equal always means "at most
    // that far inwards", whichever side the edge is on.
    if (edge == ALAttributeRight || edge == ALAttributeBottom || edge == ALAttributeTrailing) {
        inset = -inset;
        relation = inverse(relation);
    }
    return build(view, ALAttribute(edge), superview, ALAttribute(edge), 1, inset, relation);
}

EdgeLayout::Constraints EdgeLayout::autoPinEdgesToSuperviewEdges(QWidget* view) {
    return autoPinEdgesToSuperviewEdgesWithInsets(view, ALEdgeInsets{});
}

EdgeLayout::Constraints EdgeLayout::autoPinEdgesToSuperviewEdgesWithInsets(QWidget* view,
                                                                           ALEdgeInsets insets) {
    return {autoPinEdgeToSuperviewEdge(view, ALAttributeTop, insets.top),
            autoPinEdgeToSuperviewEdge(view, ALAttributeLeading, insets.left),
            autoPinEdgeToSuperviewEdge(view, ALAttributeBottom, insets.bottom),
            autoPinEdgeToSuperviewEdge(view, ALAttributeTrailing, insets.right)};
}

EdgeLayout::Constraints EdgeLayout::autoPinEdgesToSuperviewEdgesWithInsets(QWidget* view,
                                                                           ALEdgeInsets insets,
                                                                           ALEdge excludingEdge) {
    const auto top = [&] { return autoPinEdgeToSuperviewEdge(view, ALAttributeTop, insets.top); };
    const auto bottom = [&] {
        return autoPinEdgeToSuperviewEdge(view, ALAttributeBottom, insets.bottom);
    };
    const auto left = [&] {
        return autoPinEdgeToSuperviewEdge(view, ALAttributeLeft, insets.left);
    };
    const auto right = [&] {
        return autoPinEdgeToSuperviewEdge(view, ALAttributeRight, insets.right);
    };
    const auto leading = [&] {
        return autoPinEdgeToSuperviewEdge(view, ALAttributeLeading, insets.left);
    };
    const auto trailing = [&] {
        return autoPinEdgeToSuperviewEdge(view, ALAttributeTrailing, insets.right);
    };
    // Each list in the order the pins are made.
    switch (excludingEdge) {
        case ALAttributeLeft: {
            Constraints c{top()};
            c.push_back(bottom());
            c.push_back(right());
            return c;
        }
        case ALAttributeRight: {
            Constraints c{top()};
            c.push_back(left());
            c.push_back(bottom());
            return c;
        }
        case ALAttributeTop: {
            Constraints c{leading()};
            c.push_back(bottom());
            c.push_back(trailing());
            return c;
        }
        case ALAttributeBottom: {
            Constraints c{top()};
            c.push_back(leading());
            c.push_back(trailing());
            return c;
        }
        case ALAttributeLeading: {
            Constraints c{top()};
            c.push_back(bottom());
            c.push_back(trailing());
            return c;
        }
        case ALAttributeTrailing: {
            Constraints c{top()};
            c.push_back(leading());
            c.push_back(bottom());
            return c;
        }
        default:
            return {};
    }
}

LayoutConstraint EdgeLayout::autoPinEdge(QWidget* view, ALEdge edge, ALEdge toEdge, QWidget* ofView,
                                         double offset, LayoutRelation relation) {
    return autoConstrainAttribute(view, ALAttribute(edge), ALAttribute(toEdge), ofView, offset,
                                  relation);
}

LayoutConstraint EdgeLayout::autoAlignAxis(QWidget* view, ALAxis axis, QWidget* toSameAxisOfView,
                                           double offset) {
    return autoConstrainAttribute(view, ALAttribute(axis), ALAttribute(axis), toSameAxisOfView,
                                  offset);
}

LayoutConstraint EdgeLayout::autoAlignAxisWithMultiplier(QWidget* view, ALAxis axis,
                                                         QWidget* toSameAxisOfView,
                                                         double multiplier) {
    return autoConstrainAttributeWithMultiplier(view, ALAttribute(axis), ALAttribute(axis),
                                                toSameAxisOfView, multiplier);
}

LayoutConstraint EdgeLayout::autoMatchDimension(QWidget* view, ALDimension dimension,
                                                ALDimension toDimension, QWidget* ofView,
                                                double offset, LayoutRelation relation) {
    return autoConstrainAttribute(view, ALAttribute(dimension), ALAttribute(toDimension), ofView,
                                  offset, relation);
}

LayoutConstraint EdgeLayout::autoMatchDimensionWithMultiplier(QWidget* view, ALDimension dimension,
                                                              ALDimension toDimension,
                                                              QWidget* ofView, double multiplier,
                                                              LayoutRelation relation) {
    return autoConstrainAttributeWithMultiplier(
        view, ALAttribute(dimension), ALAttribute(toDimension), ofView, multiplier, relation);
}

EdgeLayout::Constraints EdgeLayout::autoSetDimensionsToSize(QWidget* view, QSizeF size) {
    Constraints constraints{autoSetDimension(view, ALAttributeWidth, size.width())};
    constraints.push_back(autoSetDimension(view, ALAttributeHeight, size.height()));
    return constraints;
}

LayoutConstraint EdgeLayout::autoSetDimension(QWidget* view, ALDimension dimension, double size,
                                              LayoutRelation relation) {
    return build(view, ALAttribute(dimension), nullptr, ALAttribute(0), 0, size, relation);
}

void EdgeLayout::autoSetContentCompressionResistancePriorityForAxis(QWidget* view, ALAxis axis) {
    if (!isExecutingPriorityConstraintsBlock()) {
        violation(
            "autoSetContentCompressionResistancePriorityForAxis: should only be called from "
            "within the block passed into the method +[autoSetPriority:forConstraints:]");
    }
    configureForAutoLayout(view);
    if (QWidget* superview = view->parentWidget()) {
        ConstraintLayout::forWidget(superview)->setContentCompressionResistancePriority(
            view, constraintAxisForAxis(axis), currentGlobalConstraintPriority());
    }
}

void EdgeLayout::autoSetContentHuggingPriorityForAxis(QWidget* view, ALAxis axis) {
    if (!isExecutingPriorityConstraintsBlock()) {
        violation(
            "autoSetContentHuggingPriorityForAxis: should only be called from within the "
            "block passed into the method +[autoSetPriority:forConstraints:]");
    }
    configureForAutoLayout(view);
    if (QWidget* superview = view->parentWidget()) {
        ConstraintLayout::forWidget(superview)->setContentHuggingPriority(
            view, constraintAxisForAxis(axis), currentGlobalConstraintPriority());
    }
}

LayoutConstraint EdgeLayout::autoConstrainAttribute(QWidget* view, ALAttribute attribute,
                                                    ALAttribute toAttribute, QWidget* ofView,
                                                    double offset, LayoutRelation relation) {
    return build(view, attribute, ofView, toAttribute, 1, offset, relation);
}

LayoutConstraint EdgeLayout::autoConstrainAttributeWithMultiplier(
    QWidget* view, ALAttribute attribute, ALAttribute toAttribute, QWidget* ofView,
    double multiplier, LayoutRelation relation) {
    return build(view, attribute, ofView, toAttribute, multiplier, 0, relation);
}

QWidget* EdgeLayout::commonSuperview(QWidget* view, QWidget* other) {
    for (QWidget* candidate = view; candidate != nullptr; candidate = candidate->parentWidget()) {
        if (candidate == other || candidate->isAncestorOf(other)) {
            return candidate;
        }
    }
    violation(
        "Can't constrain two views that do not share a common superview. Make sure that both "
        "views have been added into the same view hierarchy.");
}

void EdgeLayout::autoInstallConstraints(Constraints& constraints) {
    for (LayoutConstraint& constraint : constraints) {
        applyGlobalState(constraint);
    }
    if (preventAutomaticInstallation()) {
        auto& top = state().createdConstraints.back();
        top.insert(top.end(), constraints.begin(), constraints.end());
        return;
    }
    for (LayoutConstraint& constraint : constraints) {
        activate(constraint);
    }
}

void EdgeLayout::autoRemoveConstraints(Constraints& constraints) {
    for (LayoutConstraint& constraint : constraints) {
        constraint.deactivate();
    }
}

EdgeLayout::Constraints& EdgeLayout::autoIdentifyConstraints(Constraints& constraints,
                                                             const std::string& identifier) {
    for (LayoutConstraint& constraint : constraints) {
        autoIdentify(constraint, identifier);
    }
    return constraints;
}

EdgeLayout::Constraints EdgeLayout::autoAlignViewsToEdge(const Views& views, ALEdge edge) {
    const Views list = atLeast(views, 2);
    Constraints constraints;
    for (std::size_t i = 1; i < list.size(); ++i) {
        constraints.push_back(autoPinEdge(list[i], edge, edge, list[i - 1]));
    }
    return constraints;
}

EdgeLayout::Constraints EdgeLayout::autoAlignViewsToAxis(const Views& views, ALAxis axis) {
    const Views list = atLeast(views, 2);
    Constraints constraints;
    for (std::size_t i = 1; i < list.size(); ++i) {
        constraints.push_back(autoAlignAxis(list[i], axis, list[i - 1]));
    }
    return constraints;
}

EdgeLayout::Constraints EdgeLayout::autoMatchViewsDimension(const Views& views,
                                                            ALDimension dimension) {
    const Views list = atLeast(views, 2);
    Constraints constraints;
    for (std::size_t i = 1; i < list.size(); ++i) {
        constraints.push_back(autoMatchDimension(list[i], dimension, dimension, list[i - 1]));
    }
    return constraints;
}

EdgeLayout::Constraints EdgeLayout::autoSetViewsDimension(const Views& views, ALDimension dimension,
                                                          double size) {
    Constraints constraints;
    for (QWidget* view : atLeast(views, 1)) {
        constraints.push_back(autoSetDimension(view, dimension, size));
    }
    return constraints;
}

EdgeLayout::Constraints EdgeLayout::autoSetViewsDimensionsToSize(const Views& views, QSizeF size) {
    Constraints constraints = autoSetViewsDimension(views, ALAttributeWidth, size.width());
    for (LayoutConstraint& constraint :
         autoSetViewsDimension(views, ALAttributeHeight, size.height())) {
        constraints.push_back(constraint);
    }
    return constraints;
}

EdgeLayout::Constraints EdgeLayout::autoDistributeViewsAlongAxis(const Views& views, ALAxis axis,
                                                                 ALAttribute alignedTo,
                                                                 double fixedSpacing,
                                                                 bool insetSpacing,
                                                                 bool matchedSizes) {
    const DistributionAttributes attributes = distributionAttributes(axis);
    const Views list = viewsOnly(views);
    if (list.empty()) {
        violation("This array must contain at least 1 view to distribute.");
    }
    const double outerInset = insetSpacing ? fixedSpacing : 0;
    Constraints constraints;
    constraints.push_back(
        autoPinEdgeToSuperviewEdge(list.front(), attributes.firstEdge, outerInset));
    for (std::size_t i = 1; i < list.size(); ++i) {
        constraints.push_back(autoPinEdge(list[i], attributes.firstEdge, attributes.lastEdge,
                                          list[i - 1], fixedSpacing));
        if (matchedSizes) {
            constraints.push_back(autoMatchDimension(list[i], attributes.dimension,
                                                     attributes.dimension, list[i - 1]));
        }
        constraints.push_back(alignAttribute(list[i], alignedTo, list[i - 1], axis));
    }
    constraints.push_back(autoPinEdgeToSuperviewEdge(list.back(), attributes.lastEdge, outerInset));
    return constraints;
}

EdgeLayout::Constraints EdgeLayout::autoDistributeViewsAlongAxisWithFixedSize(
    const Views& views, ALAxis axis, ALAttribute alignedTo, double fixedSize, bool insetSpacing) {
    const DistributionAttributes attributes = distributionAttributes(axis);
    Views list = viewsOnly(views);
    if (list.empty()) {
        violation("This array must contain at least 1 view to distribute.");
    }
    // Without inset spacing the views' centres run from one edge to the other, which takes two
    // views: one view alone would divide by zero.
    if (!insetSpacing && list.size() < 2) {
        violation("This array must contain at least 2 views to distribute without inset spacing.");
    }
    QWidget* superview = commonSuperviewOfViews(list);
    const bool row = axis != ALAttributeVertical;
    if (row && QApplication::layoutDirection() == Qt::RightToLeft) {
        std::reverse(list.begin(), list.end());
    }
    const double n = double(list.size());
    Constraints constraints;
    for (std::size_t index = 0; index < list.size(); ++index) {
        QWidget* view = list[index];
        const double i = double(index);
        constraints.push_back(autoSetDimension(view, attributes.dimension, fixedSize));
        const double multiplier = insetSpacing ? (2 * i + 2) / (n + 1) : 2 * i / (n - 1);
        const double constant =
            insetSpacing ? (multiplier - 1) * fixedSize / 2 : (1 - multiplier) * fixedSize / 2;
        const double used = std::abs(multiplier) < 0.00001 ? 0.00001 : multiplier;
        constraints.push_back(build(view, attributes.centre, superview, attributes.centre, used,
                                    constant, LayoutRelation::equal));
        if (index > 0) {
            constraints.push_back(alignAttribute(view, alignedTo, list[index - 1], axis));
        }
    }
    return constraints;
}

QWidget* EdgeLayout::commonSuperviewOfViews(const Views& views) {
    const Views list = viewsOnly(views);
    QWidget* common = list.empty() ? nullptr : list.front()->parentWidget();
    for (std::size_t i = 1; i < list.size() && common != nullptr; ++i) {
        common = commonSuperview(common, list[i]);
    }
    if (common == nullptr) {
        violation(
            "Can't constrain views that do not share a common superview. Make sure that all "
            "the views in this array have been added into the same view hierarchy.");
    }
    return common;
}

EdgeLayout::Constraints EdgeLayout::autoCreateConstraintsWithoutInstalling(const Block& block) {
    if (!block) {
        violation("The constraints block cannot be nil.");
    }
    state().createdConstraints.emplace_back();
    try {
        block();
    } catch (...) {
        state().createdConstraints.pop_back();
        throw;
    }
    Constraints created = std::move(state().createdConstraints.back());
    state().createdConstraints.pop_back();
    return created;
}

EdgeLayout::Constraints EdgeLayout::autoCreateAndInstallConstraints(const Block& block) {
    Constraints created = autoCreateConstraintsWithoutInstalling(block);
    state().installing = true;
    autoInstallConstraints(created);
    state().installing = false;
    return created;
}

void EdgeLayout::autoSetPriority(float priority, const Block& block) {
    if (!block) {
        violation("The constraints block cannot be nil.");
    }
    state().priorities.push_back(priority);
    try {
        block();
    } catch (...) {
        state().priorities.pop_back();
        throw;
    }
    state().priorities.pop_back();
}

void EdgeLayout::autoSetIdentifier(const std::string& identifier, const Block& block) {
    if (!block) {
        violation("The constraints block cannot be nil.");
    }
    state().identifiers.push_back(identifier);
    try {
        block();
    } catch (...) {
        state().identifiers.pop_back();
        throw;
    }
    state().identifiers.pop_back();
}

LayoutConstraint& EdgeLayout::autoIdentify(LayoutConstraint& constraint,
                                           const std::string& identifier) {
    constraint.setIdentifier(identifier);
    return constraint;
}

void EdgeLayout::autoInstall(LayoutConstraint& constraint) {
    applyGlobalState(constraint);
    if (preventAutomaticInstallation()) {
        state().createdConstraints.back().push_back(constraint);
    } else {
        activate(constraint);
    }
}

void EdgeLayout::autoRemove(LayoutConstraint& constraint) {
    constraint.deactivate();
}

float EdgeLayout::currentGlobalConstraintPriority() {
    const auto& priorities = state().priorities;
    return priorities.empty() ? layoutPriority::required : priorities.back();
}

bool EdgeLayout::isExecutingPriorityConstraintsBlock() {
    return !state().priorities.empty();
}

LayoutAttribute EdgeLayout::layoutAttributeForAttribute(int attribute) {
    if (attribute < 1 || attribute > 11) {
        violation("Not a valid ALAttribute.");
    }
    return LayoutAttribute(attribute);
}

Qt::Orientation EdgeLayout::constraintAxisForAxis(int axis) {
    switch (axis) {
        case ALAttributeVertical:
            return Qt::Vertical;
        case ALAttributeHorizontal:
        case ALAttributeBaseline:
            return Qt::Horizontal;
        default:
            break;
    }
    violation("Not a valid ALAxis.");
}

}  // namespace tarnwick
