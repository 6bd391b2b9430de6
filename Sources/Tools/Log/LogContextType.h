#pragma once

#include <array>
#include <optional>
#include <string_view>

namespace tarnwick {

// The component that wrote a context-tagged log entry; the raw value is what the log shows.
enum class LogContextType {
    appMover,
    feedbackForm,
    preferencesWindow,
    sheets,
    staticAnalysis,
};

inline constexpr std::array<LogContextType, 5> allLogContextTypes = {
    LogContextType::appMover, LogContextType::feedbackForm, LogContextType::preferencesWindow,
    LogContextType::sheets, LogContextType::staticAnalysis};

std::string_view rawValue(LogContextType context);
// Exactly the five raw values, letter case included.
std::optional<LogContextType> logContextTypeFromRawValue(std::string_view rawValue);

}  // namespace tarnwick
