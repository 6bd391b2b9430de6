#include "WidgetKit/Controls/ImageAlignmableCell.h"

#include <QStyle>

namespace tarnwick {

QRect ImageAlignmableCell::imageRectForBounds(const QRect& bounds, const QSize& imageSize) {
    QRect rect = QStyle::alignedRect(Qt::LeftToRight, Qt::AlignCenter, imageSize, bounds);
    rect.moveTop(bounds.top() + kImageTop);
    return rect;
}

}  // namespace tarnwick
