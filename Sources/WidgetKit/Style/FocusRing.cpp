#include "WidgetKit/Style/FocusRing.h"

#include <QPainter>
#include <QWidget>

namespace tarnwick::FocusRing {

bool isShown(const QWidget* control) {
    return control->hasFocus() && control->window()->testAttribute(Qt::WA_KeyboardFocusChange);
}

void paint(QPainter& painter, const QWidget* control, const QRectF& shape, qreal radius) {
    painter.save();
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setBrush(Qt::NoBrush);
    painter.setPen(QPen(control->palette().color(QPalette::Highlight), 2));
    painter.drawRoundedRect(shape.adjusted(1, 1, -1, -1), radius, radius);
    painter.setPen(QPen(control->palette().color(QPalette::Base), 1));
    painter.drawRoundedRect(shape.adjusted(2.5, 2.5, -2.5, -2.5), std::max<qreal>(radius - 2, 0),
                            std::max<qreal>(radius - 2, 0));
    painter.restore();
}

}  // namespace tarnwick::FocusRing
