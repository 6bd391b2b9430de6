#pragma once

#include "LogLevel.h"

#include <string>

namespace tarnwick {

// The word a destination shows for each level.
struct LevelString {
    std::string verbose = "VERBOSE";
    std::string debug = "DEBUG";
    std::string info = "INFO";
    std::string warning = "WARNING";
    std::string error = "ERROR";

    const std::string& forLevel(LogLevel level) const { return memberForLevel(*this, level); }
};

}  // namespace tarnwick
