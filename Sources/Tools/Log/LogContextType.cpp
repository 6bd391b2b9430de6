#include "LogContextType.h"

namespace tarnwick {

std::string_view rawValue(LogContextType context) {
    switch (context) {
        case LogContextType::appMover:
            return "App Mover";
        case LogContextType::feedbackForm:
            return "Feedback Form";
        case LogContextType::preferencesWindow:
            return "Preferences Window";
        case LogContextType::sheets:
            return "Sheets";
        case LogContextType::staticAnalysis:
            return "Static Analysis";
    }
    return {};
}

std::optional<LogContextType> logContextTypeFromRawValue(std::string_view text) {
    for (auto context :
         {LogContextType::appMover, LogContextType::feedbackForm, LogContextType::preferencesWindow,
          LogContextType::sheets, LogContextType::staticAnalysis}) {
        if (rawValue(context) == text) {
            return context;
        }
    }
    return std::nullopt;
}

}  // namespace tarnwick
