#pragma once

#include <QColor>
#include <QRectF>

class QPainter;

namespace tarnwick {

// The look of a grid cell and a list row: a plate inset by 2.5 inside a rounded outline that
// shows `rim` (clear for none) around it, all scaled about the centre.
void paintRimmedPlate(QPainter& painter, const QRectF& bounds, double outerRadius,
                      double innerRadius, const QColor& rim, double scale);

}  // namespace tarnwick
