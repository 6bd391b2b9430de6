#pragma once

#include <QRectF>

class QPainter;
class QWidget;

namespace tarnwick {

// Where the keyboard is: a ring in the highlight colour around a control that has the focus the
// keyboard gave it (Tab, Backtab, a shortcut), not the focus a click left there.
namespace FocusRing {

bool isShown(const QWidget* control);

// Draws the ring along `shape` (a rounded rectangle of `radius`) inside the control's own
// rectangle, with a thin inner line in the base colour so it shows on a coloured plate too.
void paint(QPainter& painter, const QWidget* control, const QRectF& shape, qreal radius);

// Both, for the common case of a paintEvent.
inline void paintIfShown(QPainter& painter, const QWidget* control, const QRectF& shape,
                         qreal radius) {
    if (isShown(control)) {
        paint(painter, control, shape, radius);
    }
}

}  // namespace FocusRing

}  // namespace tarnwick
