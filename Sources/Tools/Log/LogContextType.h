#pragma once

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

std::string_view rawValue(LogContextType context);
// Exactly the five raw values, letter case included.
std::optional<LogContextType> logContextTypeFromRawValue(std::string_view rawValue);

}  // namespace tarnwick
