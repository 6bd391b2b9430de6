#pragma once

#include "IPCConnection.h"
#include "NetworkExtension/Provider/NEFilterDataProvider.h"

#include <functional>
#include <memory>
#include <optional>
#include <string>

namespace tarnwick {

// The content filter: every socket flow to a host endpoint is described to the application and
// paused; the application's answer resumes it with allow or drop. Other flows, and all flows
// while no application is connected, are allowed at once.
class FilterDataProvider final : public NEFilterDataProvider,
                                 public std::enable_shared_from_this<FilterDataProvider> {
public:
    FilterDataProvider();
    // Prompts through `connection` instead of the shared one.
    // Used for testing only
    explicit FilterDataProvider(std::shared_ptr<IPCConnection> connection);

    void startFilter(StartCompletion completionHandler) override;
    void stopFilter(NEProviderStopReason reason, std::function<void()> completionHandler) override;
    NEFilterNewFlowVerdict handleNewFlow(const std::shared_ptr<NEFilterFlow>& flow) override;

    // The response handler of one handed-over flow: resumes it with allow (true) or drop (false).
    std::function<void(bool)> handleFlowVerdict(const std::shared_ptr<NEFilterFlow>& flow);

    // The bundle identifier of the process an audit token names: the CFBundleIdentifier of its
    // enclosing application bundle, else the path of its executable. Nothing when the token names
    // no running process.
    static std::optional<std::string> bundleIdentifier(const Value::Data& auditToken);

    // The flow-info dictionary of a socket flow to a host endpoint; nothing for any other flow.
    static std::optional<IPCConnection::FlowInfo> flowInfo(const NEFilterFlow& flow);

private:
    std::shared_ptr<IPCConnection> m_connection;
};

}  // namespace tarnwick
