#pragma once

#include "LogLevel.h"

#include <string>

namespace tarnwick {

// The colour code a destination puts in front of each level; all empty unless a destination
// colours its output.
struct LevelColor {
    std::string verbose;
    std::string debug;
    std::string info;
    std::string warning;
    std::string error;

    const std::string& forLevel(LogLevel level) const { return memberForLevel(*this, level); }

    // 256-colour terminal foreground codes, for use behind `terminalEscape`.
    static LevelColor terminal() { return {"251m", "35m", "38m", "178m", "197m"}; }
    static constexpr const char* terminalEscape = "\x1b[38;5;";
    static constexpr const char* terminalReset = "\x1b[0m";
};

}  // namespace tarnwick
