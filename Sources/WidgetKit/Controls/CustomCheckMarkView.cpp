#include "WidgetKit/Controls/CustomCheckMarkView.h"

#include "WidgetKit/InterfaceText.h"
#include "WidgetKit/Style/Appearance.h"
#include "WidgetKit/Style/FocusRing.h"
#include "WidgetKit/Style/ImageAsset.h"

#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QPainterPath>
#include <QPalette>

namespace tarnwick {

CustomCheckMarkView::CustomCheckMarkView(bool isChecked, bool disabled, QWidget* parent)
    : QWidget(parent), m_isChecked(isChecked), m_disabled(disabled) {
    setFixedSize(16, 16);
}

void CustomCheckMarkView::setChecked(bool checked) {
    if (m_isChecked != checked) {
        m_isChecked = checked;
        update();
    }
}

QColor CustomCheckMarkView::boxColor() const {
    QColor unchecked = palette().color(QPalette::PlaceholderText);
    unchecked.setAlphaF(0.7f);
    if (!m_isChecked) {
        return unchecked;
    }
    if (m_disabled) {
        QColor dimmed = unchecked;
        dimmed.setAlphaF(0.7f * 0.7f);
        return dimmed;
    }
    return Appearance::color(NamedColor::scanButtonColor());
}

void CustomCheckMarkView::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setOpacity(m_disabled ? 0.7 : 1.0);
    QPainterPath box;
    box.addRoundedRect(QRectF(0, 0, 16, 16), 5.2, 5.2);
    painter.fillPath(box, boxColor());
    if (m_isChecked) {
        painter.drawPixmap(QPointF(3.75, 3.75),
                           ImageAsset::tinted(InterfaceText::checkMarkImage, QSize(9, 9), Qt::white,
                                              devicePixelRatioF()));
    } else {
        QPainterPath inner;
        inner.addRoundedRect(QRectF(2, 2, 12, 12), 4.2, 4.2);
        painter.fillPath(inner, palette().color(QPalette::Window));
    }
    painter.setOpacity(1.0);
    FocusRing::paintIfShown(painter, this, QRectF(rect()), 5.2);
}

void CustomCheckMarkView::keyPressEvent(QKeyEvent* event) {
    if (event->key() == Qt::Key_Space && !m_disabled && onToggle) {
        onToggle(!m_isChecked);
        return;
    }
    QWidget::keyPressEvent(event);
}

void CustomCheckMarkView::mouseReleaseEvent(QMouseEvent* event) {
    if (event->button() != Qt::LeftButton || m_disabled ||
        !rect().contains(event->position().toPoint())) {
        return;
    }
    if (onToggle) {
        onToggle(!m_isChecked);
    }
}

}  // namespace tarnwick
