#include "Shell/Views/Sheets/ScaleFadeEffect.h"

#include <QPainter>

namespace tarnwick {

ScaleFadeEffect::ScaleFadeEffect(QObject* parent) : QGraphicsEffect(parent) {}

void ScaleFadeEffect::setOpacity(double opacity) {
    m_opacity = opacity;
    update();
}

void ScaleFadeEffect::setScale(double scale) {
    m_scale = scale;
    update();
}

void ScaleFadeEffect::draw(QPainter* painter) {
    if (m_opacity <= 0.0 || m_scale <= 0.0) {
        return;
    }
    QPoint offset;
    const QPixmap pixmap = sourcePixmap(Qt::LogicalCoordinates, &offset);
    if (pixmap.isNull()) {
        return;
    }
    const QRectF bounds = boundingRect();
    const QPointF centre = bounds.center();
    painter->save();
    painter->setOpacity(painter->opacity() * m_opacity);
    painter->setRenderHint(QPainter::SmoothPixmapTransform);
    painter->translate(centre);
    painter->scale(m_scale, m_scale);
    painter->translate(-centre);
    painter->drawPixmap(offset, pixmap);
    painter->restore();
}

}  // namespace tarnwick
