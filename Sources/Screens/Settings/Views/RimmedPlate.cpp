#include "Screens/Settings/Views/RimmedPlate.h"

#include "WidgetKit/Style/Appearance.h"

#include <QPainter>
#include <QPainterPath>

namespace tarnwick {

void paintRimmedPlate(QPainter& painter, const QRectF& bounds, double outerRadius,
                      double innerRadius, const QColor& rim, double scale) {
    const QPointF centre = bounds.center();
    painter.translate(centre);
    painter.scale(scale, scale);
    painter.translate(-centre);
    QPainterPath outer;
    outer.addRoundedRect(bounds, outerRadius, outerRadius);
    if (rim.alpha() > 0) {
        painter.fillPath(outer, rim);
    }
    QPainterPath plate;
    plate.addRoundedRect(bounds.adjusted(2.5, 2.5, -2.5, -2.5), innerRadius, innerRadius);
    painter.fillPath(plate, Appearance::color(NamedColor::detectionLevelBackground()));
}

}  // namespace tarnwick
