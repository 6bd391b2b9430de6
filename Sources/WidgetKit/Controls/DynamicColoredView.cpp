#include "WidgetKit/Controls/DynamicColoredView.h"

#include "WidgetKit/Style/Appearance.h"

#include <QPainter>

namespace tarnwick {

DynamicColoredView::DynamicColoredView(QWidget* parent) : QWidget(parent) {}

void DynamicColoredView::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    if (backgroundColor) {
        painter.fillRect(rect(), Appearance::color(*backgroundColor));
    }
    if (borderColor) {
        painter.setPen(Appearance::color(*borderColor));
        painter.drawRect(rect().adjusted(0, 0, -1, -1));
    }
}

}  // namespace tarnwick
