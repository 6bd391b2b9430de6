#pragma once

#include "Foundation/NotificationCenter.h"
#include "Shell/MainWindowLayoutModel.h"
#include "Shell/Views/Main/ScreenModels.h"

#include <QPointer>
#include <QWidget>

#include <functional>
#include <map>
#include <memory>

namespace tarnwick {

class SideBarView;

// The main window's composition: the side bar over the leading edge and, beside it, the screen
// shown, which slides in and out along the edge the model gives when screens switch. Screens are
// made on first display and kept for the life of the window. It alone listens for
// "switchScreen".
class MainWindowLayout : public QWidget {
    Q_OBJECT

public:
    static constexpr int switchDurationMilliseconds = 350;

    explicit MainWindowLayout(NotificationCenter& notificationCenter, QWidget* parent = nullptr);
    ~MainWindowLayout() override;

    // Builds a screen's view; none, or no view for a screen, leaves that screen's placeholder.
    using ScreenFactory = std::function<QWidget*(AppActiveScreenType, QWidget* parent)>;

    MainWindowLayoutModel& model() { return m_model; }
    // Placeholders already shown are replaced by what the factory builds.
    void setScreenFactory(ScreenFactory factory);
    SideBarView* sideBar() const { return m_sideBar; }
    QWidget* screen(AppActiveScreenType screen) const;
    void setFullscreen(bool fullscreen);
    // The height of the window's own strip at the top (its in-window menu row) that sliding
    // screens pass under, not over; 0 when there is none.
    void setTopStripHeight(int height) { m_topStripHeight = height; }

protected:
    void resizeEvent(QResizeEvent* event) override;

private:
    QWidget* ensureScreen(AppActiveScreenType screen);
    void animateSwitch(AppActiveScreenType from, AppActiveScreenType to);
    QRect contentRect() const;

    NotificationCenter& m_notificationCenter;
    NotificationCenter::ObserverToken m_switchObserver;
    MainWindowLayoutModel m_model;
    SideBarView* m_sideBar;
    QWidget* m_content;
    std::map<AppActiveScreenType, QPointer<QWidget>> m_screens;
    ScreenFactory m_screenFactory;
    int m_topStripHeight = 0;
};

}  // namespace tarnwick
