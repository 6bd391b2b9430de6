#pragma once

#include "ConstraintLayout/LayoutConstraint.h"

#include <QSizeF>
#include <QWidget>

#include <functional>
#include <stdexcept>
#include <string>
#include <vector>

namespace tarnwick {

// Attribute numbers of the constraint helpers; they equal the layout attributes' values.
enum ALAttribute : int {
    ALAttributeLeft = 1,
    ALAttributeRight = 2,
    ALAttributeTop = 3,
    ALAttributeBottom = 4,
    ALAttributeLeading = 5,
    ALAttributeTrailing = 6,
    ALAttributeWidth = 7,
    ALAttributeHeight = 8,
    ALAttributeVertical = 9,
    ALAttributeHorizontal = 10,
    ALAttributeBaseline = 11,
};
using ALEdge = int;       // 1 ... 6
using ALDimension = int;  // 7, 8
using ALAxis = int;       // 9 ... 11

struct ALEdgeInsets {
    double top = 0, left = 0, bottom = 0, right = 0;
};

// A broken precondition of the helpers: a fault in the calling code, raised like an internal
// inconsistency and not recovered from.
class EdgeLayoutViolation : public std::logic_error {
public:
    using std::logic_error::logic_error;
};

// Builds constraints from edges, axes and dimensions, installs each in the layout that places
// its views, and stamps every constraint made inside a priority or identifier block. Blocks nest;
// a block that collects constraints keeps them from being installed until it ends. Main thread
// only.
class EdgeLayout {
public:
    using Constraints = std::vector<LayoutConstraint>;
    using Views = std::vector<QWidget*>;
    using Block = std::function<void()>;

    // One view.
    static QWidget* configureForAutoLayout(QWidget* view);
    static Constraints autoCenterInSuperview(QWidget* view);
    static LayoutConstraint autoAlignAxisToSuperviewAxis(QWidget* view, ALAxis axis);
    static LayoutConstraint autoPinEdgeToSuperviewEdge(
        QWidget* view, ALEdge edge, double inset = 0,
        LayoutRelation relation = LayoutRelation::equal);
    static Constraints autoPinEdgesToSuperviewEdges(QWidget* view);
    static Constraints autoPinEdgesToSuperviewEdgesWithInsets(QWidget* view, ALEdgeInsets insets);
    static Constraints autoPinEdgesToSuperviewEdgesWithInsets(QWidget* view, ALEdgeInsets insets,
                                                              ALEdge excludingEdge);
    static LayoutConstraint autoPinEdge(QWidget* view, ALEdge edge, ALEdge toEdge, QWidget* ofView,
                                        double offset = 0,
                                        LayoutRelation relation = LayoutRelation::equal);
    static LayoutConstraint autoAlignAxis(QWidget* view, ALAxis axis, QWidget* toSameAxisOfView,
                                          double offset = 0);
    static LayoutConstraint autoAlignAxisWithMultiplier(QWidget* view, ALAxis axis,
                                                        QWidget* toSameAxisOfView,
                                                        double multiplier);
    static LayoutConstraint autoMatchDimension(QWidget* view, ALDimension dimension,
                                               ALDimension toDimension, QWidget* ofView,
                                               double offset = 0,
                                               LayoutRelation relation = LayoutRelation::equal);
    static LayoutConstraint autoMatchDimensionWithMultiplier(
        QWidget* view, ALDimension dimension, ALDimension toDimension, QWidget* ofView,
        double multiplier, LayoutRelation relation = LayoutRelation::equal);
    static Constraints autoSetDimensionsToSize(QWidget* view, QSizeF size);
    static LayoutConstraint autoSetDimension(QWidget* view, ALDimension dimension, double size,
                                             LayoutRelation relation = LayoutRelation::equal);
    static void autoSetContentCompressionResistancePriorityForAxis(QWidget* view, ALAxis axis);
    static void autoSetContentHuggingPriorityForAxis(QWidget* view, ALAxis axis);
    static LayoutConstraint autoConstrainAttribute(QWidget* view, ALAttribute attribute,
                                                   ALAttribute toAttribute, QWidget* ofView,
                                                   double offset = 0,
                                                   LayoutRelation relation = LayoutRelation::equal);
    static LayoutConstraint autoConstrainAttributeWithMultiplier(
        QWidget* view, ALAttribute attribute, ALAttribute toAttribute, QWidget* ofView,
        double multiplier, LayoutRelation relation = LayoutRelation::equal);
    static QWidget* commonSuperview(QWidget* view, QWidget* other);

    // Arrays of views and of constraints.
    static void autoInstallConstraints(Constraints& constraints);
    static void autoRemoveConstraints(Constraints& constraints);
    static Constraints& autoIdentifyConstraints(Constraints& constraints,
                                                const std::string& identifier);
    static Constraints autoAlignViewsToEdge(const Views& views, ALEdge edge);
    static Constraints autoAlignViewsToAxis(const Views& views, ALAxis axis);
    static Constraints autoMatchViewsDimension(const Views& views, ALDimension dimension);
    static Constraints autoSetViewsDimension(const Views& views, ALDimension dimension,
                                             double size);
    static Constraints autoSetViewsDimensionsToSize(const Views& views, QSizeF size);
    static Constraints autoDistributeViewsAlongAxis(const Views& views, ALAxis axis,
                                                    ALAttribute alignedTo, double fixedSpacing,
                                                    bool insetSpacing = true,
                                                    bool matchedSizes = true);
    static Constraints autoDistributeViewsAlongAxisWithFixedSize(const Views& views, ALAxis axis,
                                                                 ALAttribute alignedTo,
                                                                 double fixedSize,
                                                                 bool insetSpacing = true);
    static QWidget* commonSuperviewOfViews(const Views& views);

    // Single constraints and blocks.
    static Constraints autoCreateConstraintsWithoutInstalling(const Block& block);
    static Constraints autoCreateAndInstallConstraints(const Block& block);
    static void autoSetPriority(float priority, const Block& block);
    static void autoSetIdentifier(const std::string& identifier, const Block& block);
    static LayoutConstraint& autoIdentify(LayoutConstraint& constraint,
                                          const std::string& identifier);
    static void autoInstall(LayoutConstraint& constraint);
    static void autoRemove(LayoutConstraint& constraint);

    static float currentGlobalConstraintPriority();
    static bool isExecutingPriorityConstraintsBlock();
    static LayoutAttribute layoutAttributeForAttribute(int attribute);
    static Qt::Orientation constraintAxisForAxis(int axis);
};

}  // namespace tarnwick
