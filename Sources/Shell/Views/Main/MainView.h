#pragma once

#include "Foundation/NotificationCenter.h"

#include <QWidget>

namespace tarnwick {

class MainWindowLayout;

// The window's root view: paints the background with curved corners (square while the window
// fills the screen) and holds the main layout at 1024 x 640 points or more, or the whole screen
// where that is smaller.
class MainView : public QWidget {
    Q_OBJECT

public:
    explicit MainView(NotificationCenter& notificationCenter, QWidget* parent = nullptr);

    double windowCornerRadius() const { return m_windowCornerRadius; }
    void setFullscreen(bool fullscreen);
    // A window that fills the screen has no corners to round.
    void setSquareCorners(bool square);
    bool hasSquareCorners() const { return m_squareCorners; }
    MainWindowLayout* layoutView() const { return m_layout; }

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    double m_windowCornerRadius = 30.0;
    bool m_squareCorners = false;
    MainWindowLayout* m_layout;
};

}  // namespace tarnwick
