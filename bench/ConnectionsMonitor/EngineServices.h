#pragma once

#include "../Settings/BenchLists.h"
#include "Network/ManualPathSource.h"
#include "Network/PathMonitor.h"
#include "Screens/ConnectionsMonitor/ConnectionsMonitorViewModel.h"

#include <memory>

namespace tarnwick {

// The engine's services for a benchmark: the process's own, a network that is always up, no
// reverse look-ups and no relaunch.
inline ConnectionsMonitorViewModel::Dependencies engineServices(
    std::shared_ptr<SettingsViewModel> settings) {
    ConnectionsMonitorViewModel::Dependencies dependencies;
    dependencies.allowancesListManager = std::move(settings);
    dependencies.filterManager = &NEFilterManager::shared();
    dependencies.extensionManager = &OSSystemExtensionManager::shared();
    dependencies.ipcConnection = &IPCConnection::shared();
    dependencies.networkValidator = std::make_shared<NetworkValidator>([] {
        return std::make_shared<PathMonitor>(
            std::make_shared<ManualPathSource>(NetworkPath{NetworkPath::Status::satisfied}));
    });
    dependencies.undesirableCountries = &UndesirableCountriesManager::shared();
    dependencies.scheduler = &Scheduler::system();
    dependencies.notificationCenter = &NotificationCenter::defaultCenter();
    dependencies.workspace = &Workspace::shared();
    dependencies.whois = std::make_shared<WhoIs>();
    dependencies.mainBundle = &Bundle::main();
    dependencies.relaunch = [] {};
    dependencies.reverseLookup = [](const std::string&) { return std::nullopt; };
    return dependencies;
}

}  // namespace tarnwick
