#include "KVBBorderedView.h"

#include <QPainter>

namespace tarnwick {

void KVBBorderedView::paintEvent(QPaintEvent*) {
    if (m_borderWidth <= 0 || !m_borderColor.isValid()) {
        return;
    }
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setPen(QPen(m_borderColor, m_borderWidth));
    const qreal inset = m_borderWidth / 2;
    painter.drawRoundedRect(QRectF(rect()).adjusted(inset, inset, -inset, -inset), m_cornerRadius,
                            m_cornerRadius);
}

}  // namespace tarnwick
