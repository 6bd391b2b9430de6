#pragma once

#include <optional>
#include <string_view>

namespace tarnwick {

// The stages and outcomes of an App Monitor scan; the raw value is the case name.
enum class StaticAnalysisWorkflowStatus {
    starting,
    validatingNetwork,
    fetchingDenyList,
    fetchingLocalApplications,
    fetchingAppStoreInfo,
    fetchingDomainsInfo,
    analysing,
    filteringByThreshold,
    potentiallyUnwantedAppsFound,
    nothingFoundNoNetwork,
    nothingFound,
};

std::string_view rawValue(StaticAnalysisWorkflowStatus status);
// Exactly the eleven raw values.
std::optional<StaticAnalysisWorkflowStatus> staticAnalysisWorkflowStatusFromRawValue(
    std::string_view rawValue);

}  // namespace tarnwick
