#pragma once

#include "Dispatch/Scheduler.h"
#include "Screens/Settings/SettingsViewModel.h"
#include "Tools/Preferences.h"
#include "Tools/UndesirableCountriesManager.h"
#include "Workspace/Workspace.h"

namespace tarnwick::testing {

// The settings model's services for a test: the ones it names, the process's own for the rest.
inline SettingsViewModel::Dependencies settingsDependencies(
    Preferences& preferences = Preferences::shared(),
    UndesirableCountriesManager& countries = UndesirableCountriesManager::shared()) {
    SettingsViewModel::Dependencies dependencies;
    dependencies.preferences = &preferences;
    dependencies.undesirableCountries = &countries;
    dependencies.workspace = &Workspace::shared();
    dependencies.scheduler = &Scheduler::system();
    return dependencies;
}

}  // namespace tarnwick::testing
