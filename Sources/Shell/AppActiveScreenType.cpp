#include "Shell/AppActiveScreenType.h"

namespace tarnwick {

std::string_view rawValue(AppActiveScreenType screen) {
    switch (screen) {
        case AppActiveScreenType::appMonitor:
            return "App Monitor";
        case AppActiveScreenType::connectionsMonitor:
            return "Connections Monitor";
        case AppActiveScreenType::settings:
            return "Settings";
    }
    return {};
}

std::optional<AppActiveScreenType> appActiveScreenTypeFromRawValue(std::string_view value) {
    for (AppActiveScreenType screen : allAppActiveScreenTypes) {
        if (rawValue(screen) == value) {
            return screen;
        }
    }
    return std::nullopt;
}

}  // namespace tarnwick
