#pragma once

#include "Shell/AppActiveScreenType.h"
#include "Tools/SettingsTab.h"

#include <any>
#include <functional>

namespace tarnwick {

// Which screen the main window shows and how the next one moves in. A switch is always asked for
// first (by the side bar or a "switchScreen" notification) and then made; the screens slide in
// side-bar order: the Connections Monitor, between the other two, enters and leaves along the
// bottom edge when the App Monitor is involved and along the top edge when Settings is.
class MainWindowLayoutModel {
public:
    enum class Edge { top, bottom };

    // Opens on the Connections Monitor while the application relaunches to repair its extension.
    explicit MainWindowLayoutModel(bool isFixingExtension);

    AppActiveScreenType currentScreen() const { return m_currentScreen; }
    AppActiveScreenType currentScreenToSet() const { return m_currentScreenToSet; }
    Edge flowDirection() const { return m_flowDirection; }
    bool isSideBarExpanded() const { return m_isSideBarExpanded; }
    void setSideBarExpanded(bool expanded);

    // A request from the side bar; the switch follows.
    void requestScreen(AppActiveScreenType screen);
    // A "switchScreen" notification's object: a screen other than the one shown, or a settings
    // tab (which opens Settings on it). Anything else changes nothing.
    void handleSwitchScreenNotification(const std::any& object);

    // Called with the screen shown before and after, once per switch made.
    std::function<void(AppActiveScreenType from, AppActiveScreenType to)> onSwitch;
    // Called when a tab of the settings screen is asked for.
    std::function<void(SettingsTab)> onSettingsTabRequested;
    std::function<void(bool)> onSideBarExpandedChanged;

private:
    void switchScreen(AppActiveScreenType screen);

    AppActiveScreenType m_currentScreen;
    AppActiveScreenType m_currentScreenToSet;
    Edge m_flowDirection = Edge::bottom;
    bool m_isSideBarExpanded = false;
};

}  // namespace tarnwick
