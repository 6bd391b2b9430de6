#include "Bootstrap/ScreenViewAssembly.h"

#include "Screens/AppMonitor/Views/AppMonitorView.h"
#include "Screens/Settings/Views/SettingsView.h"
#include "Shell/Views/Main/MainWindow.h"

namespace tarnwick {

namespace {

// The settings screen reaches the window only through these; the window may close first.
SettingsWindowServices settingsWindowServices(MainWindow& window) {
    SettingsWindowServices services;
    services.frame = &window;
    services.presentPromotion = [frame = QPointer<MainWindow>(&window)] {
        if (frame != nullptr) {
            frame->presentIOSPromotion();
        }
    };
    return services;
}

}  // namespace

QWidget* makeScreenView(AppActiveScreenType screen, MainWindow& window, QWidget* parent) {
    const ScreenModels& models = window.screenModels();
    switch (screen) {
        case AppActiveScreenType::appMonitor:
            if (models.appMonitor && window.notificationCenter()) {
                return new AppMonitorView(models.appMonitor, *window.notificationCenter(), {},
                                          parent);
            }
            return nullptr;
        case AppActiveScreenType::connectionsMonitor:
            return models.makeConnectionsMonitorScreen ? models.makeConnectionsMonitorScreen(parent)
                                                       : nullptr;
        case AppActiveScreenType::settings:
            if (models.settings) {
                return new SettingsView(models.settings,
                                        {allSettingsTabs.begin(), allSettingsTabs.end()},
                                        settingsWindowServices(window), parent);
            }
            return nullptr;
        default:
            return nullptr;
    }
}

}  // namespace tarnwick
