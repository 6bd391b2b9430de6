#include "KVBClickableView.h"

#include "KVBBundleHelper.h"

#include <QGraphicsOpacityEffect>
#include <QMouseEvent>

namespace tarnwick {

KVBClickableView::KVBClickableView(QWidget* parent) : QWidget(parent) {
    setCursor(Qt::PointingHandCursor);
}

void KVBClickableView::setEnabled(bool enabled) {
    m_isEnabled = enabled;
    if (!enabled) {
        m_isPressed = false;
        setAlpha(1.0);
    }
}

void KVBClickableView::setAlpha(qreal alpha) {
    m_alpha = alpha;
    if (alpha >= 1.0) {
        setGraphicsEffect(nullptr);
        return;
    }
    auto* effect = new QGraphicsOpacityEffect(this);
    effect->setOpacity(alpha);
    setGraphicsEffect(effect);
}

void KVBClickableView::mousePressEvent(QMouseEvent* event) {
    if (event->button() != Qt::LeftButton || !m_isEnabled ||
        !kvbHasMouseInside(this, event->globalPosition())) {
        event->ignore();
        return;
    }
    m_isPressed = true;
    setAlpha(0.5);
    event->accept();
}

void KVBClickableView::mouseMoveEvent(QMouseEvent* event) {
    if (!m_isPressed) {
        return;
    }
    setAlpha(kvbHasMouseInside(this, event->globalPosition()) ? 0.5 : 1.0);
}

void KVBClickableView::mouseReleaseEvent(QMouseEvent* event) {
    if (!m_isPressed || event->button() != Qt::LeftButton) {
        return;
    }
    m_isPressed = false;
    const bool inside = kvbHasMouseInside(this, event->globalPosition());
    setAlpha(1.0);
    if (inside) {
        if (m_delegate) {
            m_delegate->clickableViewDidReceiveClick(this);
        }
        emit clicked();
    }
}

}  // namespace tarnwick
