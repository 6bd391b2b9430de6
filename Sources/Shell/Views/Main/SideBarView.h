#pragma once

#include "Shell/AppActiveScreenType.h"

#include <QPropertyAnimation>
#include <QWidget>

#include <functional>
#include <optional>
#include <vector>

namespace tarnwick {

class AppIconView;
class CustomSystemButtons;

struct SideBarButtonConfig {
    AppActiveScreenType activeScreenType;
    std::string icon;
    static SideBarButtonConfig make(AppActiveScreenType screen);
};

// The navigation strip along the window's leading edge: 95 points with icons only, widening to
// 264 points with titles while the pointer is over it. A click chooses a screen and collapses the
// bar. The window buttons and the application icon sit at its head.
class SideBarView : public QWidget {
    Q_OBJECT
    Q_PROPERTY(int barWidth READ barWidth WRITE setBarWidth)

public:
    static constexpr int collapsedWidth = 95;
    static constexpr int expandedWidth = 264;

    explicit SideBarView(std::vector<AppActiveScreenType> appScreens, QWidget* parent = nullptr);

    // The main layout's bindings.
    std::function<void(AppActiveScreenType)> onScreenChosen;
    std::function<void(bool)> onHoverChanged;
    void setExpanded(bool expanded);
    void setCurrentScreen(AppActiveScreenType screen);
    void setFullscreen(bool fullscreen);

    bool isExpanded() const { return m_isExpanded; }
    std::optional<AppActiveScreenType> currentHoveredButton() const { return m_hoveredButton; }
    bool isSelected(AppActiveScreenType screen) const;
    QWidget* button(AppActiveScreenType screen) const;

    int barWidth() const { return width(); }
    void setBarWidth(int width);

protected:
    void enterEvent(QEnterEvent* event) override;
    void leaveEvent(QEvent* event) override;
    void paintEvent(QPaintEvent* event) override;

private:
    friend class SideBarButtonView;
    void buttonHovered(AppActiveScreenType screen, bool hovered);
    void buttonClicked(AppActiveScreenType screen);
    void refreshButtons();

    std::vector<AppActiveScreenType> m_appScreens;
    std::vector<QWidget*> m_buttons;
    CustomSystemButtons* m_windowButtons;
    AppIconView* m_appIcon;
    AppActiveScreenType m_currentScreen = AppActiveScreenType::appMonitor;
    std::optional<AppActiveScreenType> m_hoveredButton;
    bool m_isExpanded = false;
    QPropertyAnimation* m_widthAnimation;
};

}  // namespace tarnwick
