#include "WidgetKit/Controls/MouseTrackingView.h"

#include <QCursor>
#include <QEnterEvent>

#include <algorithm>

namespace tarnwick {

std::optional<MouseTrackingEventHandler::TrackingEventType>
MouseTrackingEventHandler::trackingEventType(int rawValue) {
    switch (rawValue) {
        case 0:
            return TrackingEventType::mouseEntered;
        case 1:
            return TrackingEventType::mouseExited;
        default:
            return std::nullopt;
    }
}

MouseTrackingView::MouseTrackingView(QWidget* parent) : QWidget(parent) {
    setAttribute(Qt::WA_Hover);
}

void MouseTrackingView::addHandlers(
    const std::vector<std::shared_ptr<MouseTrackingEventHandler>>& handlers) {
    m_handlers.insert(m_handlers.end(), handlers.begin(), handlers.end());
}

void MouseTrackingView::removeHandler(const std::shared_ptr<MouseTrackingEventHandler>& handler) {
    const auto it = std::find(m_handlers.begin(), m_handlers.end(), handler);
    if (it != m_handlers.end()) {
        m_handlers.erase(it);
    }
}

void MouseTrackingView::removeAllHandlers() {
    m_handlers.clear();
}

void MouseTrackingView::updateTrackingAreas() {
    if (window() == nullptr || !isVisible()) {
        return;
    }
    const QPoint global = pointerLocation ? pointerLocation() : QCursor::pos();
    // The pointer is tested against the view's own rectangle, in its own coordinates.
    const bool inside = rect().contains(mapFromGlobal(global));
    QEvent blank(inside ? QEvent::Enter : QEvent::Leave);
    dispatch(inside ? MouseTrackingEventHandler::TrackingEventType::mouseEntered
                    : MouseTrackingEventHandler::TrackingEventType::mouseExited,
             &blank);
}

void MouseTrackingView::dispatch(MouseTrackingEventHandler::TrackingEventType type, QEvent* event) {
    if (!isEnabled) {
        return;
    }
    // A snapshot: handlers added or removed by a callback count from the next event.
    std::vector<std::shared_ptr<MouseTrackingEventHandler>> snapshot;
    std::copy_if(m_handlers.begin(), m_handlers.end(), std::back_inserter(snapshot),
                 [type](const auto& handler) { return handler->type == type; });
    for (const auto& handler : snapshot) {
        handler->callback(*this, event);
    }
}

void MouseTrackingView::enterEvent(QEnterEvent* event) {
    QWidget::enterEvent(event);
    dispatch(MouseTrackingEventHandler::TrackingEventType::mouseEntered, event);
}

void MouseTrackingView::leaveEvent(QEvent* event) {
    QWidget::leaveEvent(event);
    dispatch(MouseTrackingEventHandler::TrackingEventType::mouseExited, event);
}

void MouseTrackingView::showEvent(QShowEvent* event) {
    QWidget::showEvent(event);
    updateTrackingAreas();
}

void MouseTrackingView::resizeEvent(QResizeEvent* event) {
    QWidget::resizeEvent(event);
    updateTrackingAreas();
}

void MouseTrackingView::moveEvent(QMoveEvent* event) {
    QWidget::moveEvent(event);
    updateTrackingAreas();
}

}  // namespace tarnwick
