#pragma once

#include <optional>

namespace tarnwick {

// The severity of a log entry. Levels compare by their raw values.
enum class LogLevel : long {
    verbose = 0,
    debug = 1,
    info = 2,
    warning = 3,
    error = 4,
};

inline std::optional<LogLevel> logLevelFromRawValue(long rawValue) {
    if (rawValue < 0 || rawValue > 4) {
        return std::nullopt;
    }
    return static_cast<LogLevel>(rawValue);
}

inline long rawValue(LogLevel level) {
    return static_cast<long>(level);
}

// Whether `level` is at least `minimum`.
inline bool reaches(LogLevel level, LogLevel minimum) {
    return rawValue(level) >= rawValue(minimum);
}

// The member of a five-field table (verbose ... error) that belongs to `level`.
template <typename Table>
auto& memberForLevel(Table& table, LogLevel level) {
    switch (level) {
        case LogLevel::verbose:
            return table.verbose;
        case LogLevel::debug:
            return table.debug;
        case LogLevel::info:
            return table.info;
        case LogLevel::warning:
            return table.warning;
        case LogLevel::error:
            break;
    }
    return table.error;
}

}  // namespace tarnwick
