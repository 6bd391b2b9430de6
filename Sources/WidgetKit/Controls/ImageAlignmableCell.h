#pragma once

#include <QRect>
#include <QSize>

namespace tarnwick {

// Where an outline row's disclosure image goes: in the column a plain cell would give it, but
// a fixed distance below the row's top instead of centred, so that it lines up with the first
// line of a tall row.
class ImageAlignmableCell {
public:
    static constexpr int kImageTop = 24;

    // The rectangle a plain cell centres an image of `imageSize` in within `bounds`, moved down
    // to kImageTop below the top of `bounds`; origin across, width and height stay.
    static QRect imageRectForBounds(const QRect& bounds, const QSize& imageSize);
};

}  // namespace tarnwick
