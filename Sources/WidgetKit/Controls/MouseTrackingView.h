#pragma once

#include <QWidget>

#include <functional>
#include <memory>
#include <optional>
#include <vector>

namespace tarnwick {

class MouseTrackingView;

// One listener for the pointer entering or leaving a MouseTrackingView.
class MouseTrackingEventHandler {
public:
    enum class TrackingEventType { mouseEntered = 0, mouseExited = 1 };
    static std::optional<TrackingEventType> trackingEventType(int rawValue);

    using Callback = std::function<void(MouseTrackingView&, QEvent*)>;
    MouseTrackingEventHandler(TrackingEventType eventType, Callback eventCallback)
        : type(eventType), callback(std::move(eventCallback)) {}

    const TrackingEventType type;
    const Callback callback;
};

// Reports the pointer entering and leaving the view to its handlers. Whenever its tracking is
// rebuilt (shown, moved or resized) it tells them at once whether the pointer already rests
// inside, so a view that appears under a resting pointer starts hovered.
class MouseTrackingView : public QWidget {
    Q_OBJECT

public:
    explicit MouseTrackingView(QWidget* parent = nullptr);

    bool isEnabled = true;

    void addHandlers(const std::vector<std::shared_ptr<MouseTrackingEventHandler>>& handlers);
    // Removes the first registration of this handler only.
    void removeHandler(const std::shared_ptr<MouseTrackingEventHandler>& handler);
    void removeAllHandlers();

    // Rebuilds the tracking and reports where the pointer is.
    void updateTrackingAreas();
    // The pointer position used by the rebuild's report; the cursor position by default.
    // Used for testing only.
    std::function<QPoint()> pointerLocation;

protected:
    void enterEvent(QEnterEvent* event) override;
    void leaveEvent(QEvent* event) override;
    void showEvent(QShowEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void moveEvent(QMoveEvent* event) override;

private:
    void dispatch(MouseTrackingEventHandler::TrackingEventType type, QEvent* event);

    std::vector<std::shared_ptr<MouseTrackingEventHandler>> m_handlers;
};

}  // namespace tarnwick
