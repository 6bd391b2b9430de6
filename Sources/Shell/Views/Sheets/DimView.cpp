#include "Shell/Views/Sheets/DimView.h"

#include "WidgetKit/Style/Appearance.h"

#include <QGraphicsDropShadowEffect>
#include <QMouseEvent>
#include <QPainter>
#include <QPainterPath>

namespace tarnwick {

DimView::DimView(QWidget* parent) : QWidget(parent) {}

void DimView::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    QPainterPath path;
    // The main window's corner radius outside full screen.
    path.addRoundedRect(QRectF(rect()), 30, 30);
    painter.fillPath(path, Appearance::color("windowDimmingColor"));
}

void DimView::mousePressEvent(QMouseEvent* event) {
    event->accept();
}

void DimView::mouseReleaseEvent(QMouseEvent* event) {
    if (event->button() == Qt::LeftButton && rect().contains(event->position().toPoint()) &&
        onClick) {
        onClick();
    }
}

SheetContentBackgroundView::SheetContentBackgroundView(QWidget* parent) : QWidget(parent) {
    auto* shadow = new QGraphicsDropShadowEffect(this);
    shadow->setBlurRadius(50);
    shadow->setOffset(0, 20);
    shadow->setColor(QColor(0, 0, 0, 64));
    setGraphicsEffect(shadow);
}

void SheetContentBackgroundView::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    QPainterPath path;
    path.addRoundedRect(QRectF(rect()), 10, 10);
    painter.fillPath(path, Appearance::color("sheetBackgroundColor"));
}

void SheetContentBackgroundView::mousePressEvent(QMouseEvent* event) {
    event->accept();
}

void SheetContentBackgroundView::mouseReleaseEvent(QMouseEvent* event) {
    event->accept();
}

}  // namespace tarnwick
