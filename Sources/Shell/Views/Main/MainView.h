#pragma once

#include "Foundation/NotificationCenter.h"

#include <QWidget>

namespace tarnwick {

class MainWindowLayout;

// The window's root view: paints the background with curved corners (a smaller radius in full
// screen) and holds the main layout at 1024 x 640 points or more.
class MainView : public QWidget {
    Q_OBJECT

public:
    explicit MainView(NotificationCenter& notificationCenter, QWidget* parent = nullptr);

    double windowCornerRadius() const { return m_windowCornerRadius; }
    void setFullscreen(bool fullscreen);
    MainWindowLayout* layoutView() const { return m_layout; }

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    double m_windowCornerRadius = 30.0;
    MainWindowLayout* m_layout;
};

}  // namespace tarnwick
