#pragma once

#include "Dispatch/Scheduler.h"
#include "Foundation/UserDefaults.h"
#include "Screens/Settings/SettingsViewModel.h"
#include "Tools/AllowanceList.h"

#include <cstdint>
#include <filesystem>
#include <memory>
#include <string>
#include <unistd.h>

namespace tarnwick {

// Points the settings at a file of the benchmark's own holding `count` entries in each of the
// host deny list and the application allow list, as years of answers to the connection alert
// leave them. The folder goes when the program ends, settings file and all.
inline void storeBenchLists(std::int64_t count) {
    static const struct Folder {
        Folder()
            : path(std::filesystem::temp_directory_path() /
                   ("tarnwick-settings-bench-" + std::to_string(::getpid()))) {
            std::filesystem::create_directories(path);
        }
        ~Folder() {
            std::error_code ignored;
            std::filesystem::remove_all(path, ignored);
        }
        std::filesystem::path path;
    } folder;
    UserDefaults::standard().resetForTesting(folder.path / "settings.json");
    AllowanceList lists;
    for (std::int64_t i = 0; i < count; ++i) {
        lists.hostBlacklist.push_back("host-" + std::to_string(i) + ".example.ru");
        lists.bundleIDWhitelist.push_back("org.example.app" + std::to_string(i));
    }
    lists.saveToSettings();
}

// The settings model over the process's own services, as the application makes it.
inline std::shared_ptr<SettingsViewModel> processSettingsModel() {
    SettingsViewModel::Dependencies dependencies;
    dependencies.preferences = &Preferences::shared();
    dependencies.undesirableCountries = &UndesirableCountriesManager::shared();
    dependencies.workspace = &Workspace::shared();
    dependencies.scheduler = &Scheduler::system();
    return std::make_shared<SettingsViewModel>(dependencies);
}

}  // namespace tarnwick
