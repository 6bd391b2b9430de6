#include "Screens/Settings/Views/ScaledTextLabel.h"

#include <QPainter>
#include <QStyle>

namespace tarnwick {

ScaledTextLabel::ScaledTextLabel(const QString& text, QWidget* parent) : QLabel(text, parent) {}

void ScaledTextLabel::setScale(double scale) {
    if (m_scale != scale) {
        m_scale = scale;
        update();
    }
}

void ScaledTextLabel::paintEvent(QPaintEvent* event) {
    if (m_scale == 1.0) {
        QLabel::paintEvent(event);
        return;
    }
    QPainter painter(this);
    const QPointF centre = QRectF(rect()).center();
    painter.translate(centre);
    painter.scale(m_scale, m_scale);
    painter.translate(-centre);
    style()->drawItemText(&painter, contentsRect(), alignment(), palette(), isEnabled(), text(),
                          foregroundRole());
}

}  // namespace tarnwick
