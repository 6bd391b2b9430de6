#include "Shell/MainWindowLayoutModel.h"

#include "Dispatch/MainQueuePrecondition.h"

namespace tarnwick {

MainWindowLayoutModel::MainWindowLayoutModel(bool isFixingExtension)
    : m_currentScreen(isFixingExtension ? AppActiveScreenType::connectionsMonitor
                                        : AppActiveScreenType::appMonitor)
    , m_currentScreenToSet(m_currentScreen) {}

void MainWindowLayoutModel::setSideBarExpanded(bool expanded) {
    dispatchPreconditionOnMain();
    if (m_isSideBarExpanded == expanded) {
        return;
    }
    m_isSideBarExpanded = expanded;
    if (onSideBarExpandedChanged) {
        onSideBarExpandedChanged(expanded);
    }
}

void MainWindowLayoutModel::requestScreen(AppActiveScreenType screen) {
    dispatchPreconditionOnMain();
    m_currentScreenToSet = screen;
    if (screen != m_currentScreen) {
        switchScreen(screen);
    }
}

void MainWindowLayoutModel::handleSwitchScreenNotification(const std::any& object) {
    dispatchPreconditionOnMain();
    if (const auto* screen = std::any_cast<AppActiveScreenType>(&object)) {
        if (*screen != m_currentScreen) {
            requestScreen(*screen);
        }
        return;
    }
    if (const auto* tab = std::any_cast<SettingsTab>(&object)) {
        requestScreen(AppActiveScreenType::settings);
        if (onSettingsTabRequested) {
            onSettingsTabRequested(*tab);
        }
    }
}

void MainWindowLayoutModel::switchScreen(AppActiveScreenType screen) {
    const AppActiveScreenType previous = m_currentScreen;
    m_flowDirection =
        screen == AppActiveScreenType::appMonitor || previous == AppActiveScreenType::appMonitor
            ? Edge::bottom
            : Edge::top;
    m_currentScreen = screen;
    if (onSwitch) {
        onSwitch(previous, screen);
    }
}

}  // namespace tarnwick
