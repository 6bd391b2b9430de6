#pragma once

// What the application and its filter extension say to each other. Both programs build against
// this one header; a change to any name here is a change of the protocol and raises its version.

namespace tarnwick::filterlink {

// Carried by every invocation; a side refuses invocations of another version.
inline constexpr int kProtocolVersion = 1;

// Served by the extension on the service named by its Info.plist ("NetworkExtension" /
// "NEMachServiceName").
inline constexpr const char* kProviderCommunication = "ProviderCommunication";
inline constexpr const char* kRegisterSelector = "register:";  // reply: [Bool]

// Served by the application; the extension calls it once per paused flow.
inline constexpr const char* kAppCommunication = "AppCommunication";
// Arguments: [flow-info dictionary]; reply: [Bool], true allows the flow, false drops it.
inline constexpr const char* kPromptUserSelector = "promptUserWithAboutFlow:responseHandler:";

// The flow-info dictionary: exactly these five keys, string values.
inline constexpr const char* kFlowInfoLocalPort = "localPort";
inline constexpr const char* kFlowInfoRemoteAddress = "remoteAddress";
inline constexpr const char* kFlowInfoBundleId = "bundleId";
inline constexpr const char* kFlowInfoUrl = "url";
inline constexpr const char* kFlowInfoRemoteHostname = "aza";
inline constexpr const char* kLocalPortValue = "8080";
inline constexpr const char* kNoBundleId = "no bundle id";

// The content-filter configuration, kept by the extension host and switched by the application's
// filter manager over its own service.
inline constexpr const char* kFilterManagerServiceName = "filter-manager";
inline constexpr const char* kFilterConfigurationCommunication = "FilterConfigurationCommunication";
// Reply: [configuration dictionary].
inline constexpr const char* kLoadSelector = "loadFromPreferencesWithCompletionHandler:";
// Arguments: [configuration dictionary]; reply: [error text, or null when it was saved].
inline constexpr const char* kSaveSelector = "saveToPreferences:completionHandler:";
// Reply: [status dictionary]: how the filter the configuration switches is doing. A host that
// predates it refuses the call, which the asker takes as a filter that does not answer.
inline constexpr const char* kStatusSelector = "filterStatusWithCompletionHandler:";
// Served by each filter-manager client; arguments: [configuration dictionary], no reply.
inline constexpr const char* kFilterConfigurationObserver = "FilterConfigurationObserver";
inline constexpr const char* kConfigurationDidChangeSelector = "filterConfigurationDidChange:";

// The configuration dictionary.
inline constexpr const char* kConfigurationEnabled = "enabled";
inline constexpr const char* kConfigurationDescription = "localizedDescription";
inline constexpr const char* kConfigurationProvider = "providerConfiguration";
inline constexpr const char* kProviderFilterSockets = "filterSockets";
inline constexpr const char* kProviderFilterPackets = "filterPackets";

// The status dictionary: Booleans, and a text saying what is wrong (empty when nothing is).
inline constexpr const char* kStatusEnabled = "enabled";
inline constexpr const char* kStatusRunning = "running";
inline constexpr const char* kStatusRulesInPlace = "rulesInPlace";
inline constexpr const char* kStatusQueueBound = "queueBound";
inline constexpr const char* kStatusProblem = "problem";

}  // namespace tarnwick::filterlink
