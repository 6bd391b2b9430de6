#pragma once

#include "Foundation/StandardDirectories.h"
#include "Foundation/WallClock.h"

#include <filesystem>
#include <optional>

namespace tarnwick {

// The application's one log file, "Tarnwick/Logs/tarnwick.log" under the user's application
// support folder; nothing when that folder is unknown.
std::optional<std::filesystem::path> applicationLogFile(const StandardDirectories& directories);

// Registers the application's only log destination: the log file above, in the line format
// "$Dyyyy-MM-dd HH:mm:ss.SSS$d $C[$L]$c$X: $M", taking info and above. Run once, at start-up.
void setUpLogging();
// Used for testing only
void setUpLogging(const StandardDirectories& directories, const WallClock& clock);

}  // namespace tarnwick
