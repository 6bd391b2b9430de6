#include "SettingsTab.h"

#include "Foundation/CaseFromRawValue.h"

namespace tarnwick {

std::string_view rawValue(SettingsTab tab) {
    switch (tab) {
        case SettingsTab::restrictions:
            return "Restrictions";
        case SettingsTab::targetCoutries:
            return "Target Countries";
        case SettingsTab::connectionsList:
            return "Connections";
    }
    return {};
}

std::optional<SettingsTab> settingsTabFromRawValue(std::string_view text) {
    return caseFromRawValue(allSettingsTabs, text);
}

}  // namespace tarnwick
