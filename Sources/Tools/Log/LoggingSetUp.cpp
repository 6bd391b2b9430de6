#include "LoggingSetUp.h"

#include "Logging/FileDestination.h"
#include "Logging/LogHub.h"

#include <memory>

namespace tarnwick {

std::optional<std::filesystem::path> applicationLogFile(const StandardDirectories& directories) {
    const auto folders = directories.applicationSupportDirectories();
    if (folders.empty()) {
        return std::nullopt;
    }
    return folders.front() / "Tarnwick/Logs/tarnwick.log";
}

void setUpLogging() {
    setUpLogging(StandardDirectories(), WallClock::system());
}

void setUpLogging(const StandardDirectories& directories, const WallClock& clock) {
    auto destination =
        std::make_shared<FileDestination>(applicationLogFile(directories), directories, clock);
    destination->setFormat("$Dyyyy-MM-dd HH:mm:ss.SSS$d $C[$L]$c$X: $M");
    destination->setMinLevel(LogLevel::info);
    // Refused only for a destination that is already registered, which a new one never is.
    (void)LogHub::addDestination(destination);
}

}  // namespace tarnwick
