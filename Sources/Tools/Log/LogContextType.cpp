#include "LogContextType.h"

#include "Foundation/CaseFromRawValue.h"

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
    return caseFromRawValue(allLogContextTypes, text);
}

}  // namespace tarnwick
