#include "ScreenModelAssembly.h"

#include "ApplicationServices.h"
#include "DesktopURLOpener.h"
#include "Dispatch/DispatchQueue.h"
#include "Foundation/Bundle.h"
#include "Relaunch.h"
#include "Screens/AppMonitor/AppMonitorViewModel.h"
#include "Screens/ConnectionsMonitor/ConnectionsMonitorViewModel.h"
#include "Screens/ConnectionsMonitor/MapViewCoordinator.h"
#include "Screens/ConnectionsMonitor/Views/ConnectionAlertDialog.h"
#include "Screens/ConnectionsMonitor/Views/ConnectionMonitorView.h"
#include "Screens/ConnectionsMonitor/Views/DesktopUserNotificationCenter.h"
#include "Screens/ConnectionsMonitor/Views/GeoClueLocationProvider.h"
#include "Screens/ConnectionsMonitor/Views/MapView.h"
#include "Screens/Settings/SettingsViewModel.h"
#include "Shell/AppMover.h"
#include "Shell/ApplicationTerminator.h"
#include "Shell/Views/Main/MainWindow.h"
#include "Shell/Views/Sheets/MainWindowSheetPresenter.h"
#include "Tools/InstallLocations.h"
#include "Tools/UndesirableCountriesManager.h"

#include <QApplication>
#include <QPointer>

#include <cstdlib>
#include <filesystem>

namespace tarnwick {

ScreenModels makeScreenModels(MainWindow& window, ApplicationServices& services) {
    SettingsViewModel::Dependencies settings;
    settings.preferences = &services.preferences();
    settings.undesirableCountries = &services.undesirableCountries();
    settings.workspace = &services.workspace();
    settings.scheduler = &services.scheduler();
    settings.alertPresenter = std::make_shared<QtConnectionAlertPresenter>(&window);
    auto settingsModel = std::make_shared<SettingsViewModel>(settings);

    auto urlOpener = std::make_shared<DesktopURLOpener>();
    ConnectionsMonitorViewModel::Dependencies engine;
    engine.allowancesListManager = settingsModel;
    engine.filterManager = &services.filterManager();
    engine.extensionManager = &services.extensionManager();
    engine.ipcConnection = &services.ipcConnection();
    engine.networkValidator = services.networkValidator();
    engine.undesirableCountries = &services.undesirableCountries();
    engine.scheduler = &services.scheduler();
    engine.workspace = &services.workspace();
    // The services cancel its lookups at quit.
    engine.whois = services.whoIs();
    engine.mainBundle = &services.mainBundle();
    engine.locationManager =
        std::make_shared<LocationManager>(std::make_shared<GeoClueLocationProvider>(), urlOpener);
    engine.installLocations = InstallLocations::standard();
    engine.errorAlerts = std::make_shared<QtErrorAlertPresenter>(&window);
    engine.sheets = std::make_shared<MainWindowSheetPresenter>(
        [target = QPointer<MainWindow>(&window)]() -> SheetWindowController* {
            return target ? target->sheetWindowController() : nullptr;
        },
        services.mainBundle());
    engine.urlOpener = urlOpener;
    engine.userNotifications = std::make_shared<DesktopUserNotificationCenter>();
    engine.requestUserAttention = [target = QPointer<MainWindow>(&window)] {
        if (target) {
            QApplication::alert(target);
        }
    };
    // The center the window's menu posts the toggle and "windowDidBecomeKey" on.
    engine.notificationCenter = window.notificationCenter();
    // The repaired extension is picked up by a new instance; this one quits the usual way.
    engine.relaunch = [&services] {
        if (const auto executable = services.mainBundle().executablePath()) {
            // A failure is logged, and this instance goes on.
            (void)Relaunch::start(executable->string(), [] { ApplicationTerminator::terminate(); });
        }
    };
    auto connectionsMonitor = ConnectionsMonitorViewModel::create(std::move(engine));
    AppMonitorViewModel::Environment appMonitor;
    appMonitor.undesirableCountries = &services.undesirableCountries();
    appMonitor.didFetchUndesirableCountries = [&countries = services.undesirableCountries()] {
        return countries.didFetchUndesirableCountries();
    };
    appMonitor.preferences = &services.preferences();
    appMonitor.scheduler = &services.scheduler();
    appMonitor.denyListSession = services.makeHTTPSession();
    appMonitor.storeSession = services.makeHTTPSession();
    appMonitor.whois = services.whoIs();
    // A folder to scan in place of /Applications, for trying the scan on fixture bundles.
    if (const char* folder = std::getenv("TARNWICK_APPLICATIONS_FOLDER"); folder && *folder) {
        appMonitor.folders.applications = std::filesystem::path(folder) / "";
    }
    ScreenModels models{
        AppMonitorViewModel::make(*window.notificationCenter(), std::move(appMonitor)),
        settingsModel,
        connectionsMonitor,
        {}};
    // The map's scene and its coordinator live with the model; map panels come and go.
    auto scene = std::make_shared<MapScene>();
    scene->setShowsUserLocation(true);
    auto coordinator = std::make_shared<MapViewCoordinator>(
        scene, [](const CLLocationCoordinate2D& at) -> std::optional<std::string> {
            const auto cities = MapView::sharedCities();
            return cities ? cities->cityName(at) : std::nullopt;
        });
    connectionsMonitor->setMapCoordinator(coordinator);
    models.makeConnectionsMonitorScreen = [connectionsMonitor, coordinator, scene, &window,
                                           &services](QWidget* parent) {
        // The city table takes a moment to read: read it while the user looks at the screen,
        // not when the first server's circle asks for its name.
        DispatchQueue::global()->async([] { (void)MapView::sharedCities(); });
        ConnectionMonitorView::Services screen;
        screen.makeMap = [scene](QWidget* mapParent) {
            return new MapView(scene, MapView::sharedAtlas(), mapParent);
        };
        screen.notificationCenter = window.notificationCenter();
        screen.moveToApplications = [&services, weakModel = std::weak_ptr(connectionsMonitor)] {
            AppMover::Environment environment = AppMover::standardEnvironment();
            environment.sourceBundle = services.mainBundle().bundlePath();
            environment.applicationName = "Tarnwick";
            const auto outcome = AppMover::moveToApplicationsFolderIfNeeded(true, environment);
            // Nothing to move (the folders changed since the screen looked): the screen goes on
            // to its Start button rather than offering the move again.
            const auto model = weakModel.lock();
            if (model && (outcome == AppMover::Outcome::alreadyInPlace ||
                          outcome == AppMover::Outcome::noApplicationsFolder)) {
                model->isInstalled.set(true);
            }
        };
        return new ConnectionMonitorView(connectionsMonitor, std::move(screen), parent);
    };
    return models;
}

}  // namespace tarnwick
