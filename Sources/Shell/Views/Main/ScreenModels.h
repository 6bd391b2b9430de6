#pragma once

#include <functional>
#include <memory>

class QWidget;

namespace tarnwick {

class AppMonitorViewModel;
class ConnectionsMonitorViewModel;
class SettingsViewModel;

// The screens' models that live as long as the main window: the App Monitor's, the settings model,
// which also holds the allow and deny lists, and the Connections Monitor's engine, which answers
// the menu's toggle and the extension's flows whichever screen is shown.
struct ScreenModels {
    std::shared_ptr<AppMonitorViewModel> appMonitor;
    std::shared_ptr<SettingsViewModel> settings;
    std::shared_ptr<ConnectionsMonitorViewModel> connectionsMonitor;
    // Builds the Connections Monitor screen in `parent`; without it the layout shows a stand-in.
    std::function<QWidget*(QWidget* parent)> makeConnectionsMonitorScreen;
};

}  // namespace tarnwick
