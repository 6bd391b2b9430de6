#include "StaticAnalysisWorkflowStatus.h"

#include <array>

namespace tarnwick {

namespace {

constexpr std::array<std::string_view, 11> rawValues = {
    "starting",
    "validatingNetwork",
    "fetchingDenyList",
    "fetchingLocalApplications",
    "fetchingAppStoreInfo",
    "fetchingDomainsInfo",
    "analysing",
    "filteringByThreshold",
    "potentiallyUnwantedAppsFound",
    "nothingFoundNoNetwork",
    "nothingFound",
};

}  // namespace

std::string_view rawValue(StaticAnalysisWorkflowStatus status) {
    return rawValues[static_cast<std::size_t>(status)];
}

std::optional<StaticAnalysisWorkflowStatus> staticAnalysisWorkflowStatusFromRawValue(
    std::string_view rawValue) {
    for (std::size_t index = 0; index < rawValues.size(); ++index) {
        if (rawValues[index] == rawValue) {
            return static_cast<StaticAnalysisWorkflowStatus>(index);
        }
    }
    return std::nullopt;
}

}  // namespace tarnwick
