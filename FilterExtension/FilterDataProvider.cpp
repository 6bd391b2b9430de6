#include "FilterDataProvider.h"

#include "FilterLink/FilterLinkProtocol.h"
#include "NetworkExtension/Provider/NEFilterSocketFlow.h"
#include "NetworkExtension/Provider/NWHostEndpoint.h"
#include "NetworkExtension/Provider/ProcessCodeIdentity.h"

namespace tarnwick {

namespace {

// The identifier the flow names its source application by, without its first dotted part (the
// team prefix).
std::optional<std::string> sourceIdentifier(const NEFilterFlow& flow) {
    if (!flow.sourceAppIdentifier) {
        return std::nullopt;
    }
    const std::string& identifier = *flow.sourceAppIdentifier;
    const auto dot = identifier.find('.');
    return dot == std::string::npos ? std::string() : identifier.substr(dot + 1);
}

}  // namespace

FilterDataProvider::FilterDataProvider() : FilterDataProvider(IPCConnection::shared()) {}

FilterDataProvider::FilterDataProvider(std::shared_ptr<IPCConnection> connection)
    : m_connection(std::move(connection)) {}

void FilterDataProvider::startFilter(StartCompletion completionHandler) {
    completionHandler(std::nullopt);
}

void FilterDataProvider::stopFilter(NEProviderStopReason, std::function<void()> completionHandler) {
    completionHandler();
}

std::optional<std::string> FilterDataProvider::bundleIdentifier(const Value::Data& auditToken) {
    const auto identity = ProcessCodeIdentity::forAuditToken(auditToken);
    if (!identity) {
        return std::nullopt;
    }
    if (identity->infoPlist) {
        if (auto found = identity->infoPlist->find("CFBundleIdentifier");
            found != identity->infoPlist->end() && found->second.asString()) {
            return found->second.asString();
        }
    }
    return identity->executablePath.string();
}

std::optional<IPCConnection::FlowInfo> FilterDataProvider::flowInfo(const NEFilterFlow& flow) {
    auto bundleId = sourceIdentifier(flow);
    if (!bundleId) {
        bundleId = filterlink::kNoBundleId;
        if (flow.sourceAppAuditToken) {
            if (auto identifier = bundleIdentifier(*flow.sourceAppAuditToken)) {
                bundleId = std::move(identifier);
            }
        }
    }
    const auto* socketFlow = dynamic_cast<const NEFilterSocketFlow*>(&flow);
    const auto* remote = socketFlow != nullptr
                             ? dynamic_cast<const NWHostEndpoint*>(socketFlow->remoteEndpoint.get())
                             : nullptr;
    if (remote == nullptr) {
        return std::nullopt;
    }
    IPCConnection::FlowInfo info{
        {filterlink::kFlowInfoLocalPort, filterlink::kLocalPortValue},
        {filterlink::kFlowInfoRemoteAddress, remote->hostname()},
        {filterlink::kFlowInfoBundleId, *bundleId},
        {filterlink::kFlowInfoUrl, flow.url.value_or("")},
    };
    info[filterlink::kFlowInfoRemoteHostname] = socketFlow->remoteHostname.value_or("");
    return info;
}

NEFilterNewFlowVerdict FilterDataProvider::handleNewFlow(
    const std::shared_ptr<NEFilterFlow>& flow) {
    const auto info = flow ? flowInfo(*flow) : std::nullopt;
    if (!info) {
        return NEFilterNewFlowVerdict::allowVerdict();
    }
    if (m_connection->promptUser(*info, handleFlowVerdict(flow))) {
        return NEFilterNewFlowVerdict::pauseVerdict();
    }
    return NEFilterNewFlowVerdict::allowVerdict();
}

std::function<void(bool)> FilterDataProvider::handleFlowVerdict(
    const std::shared_ptr<NEFilterFlow>& flow) {
    return [self = shared_from_this(), flow](bool allow) {
        self->resumeFlow(flow, allow ? NEFilterNewFlowVerdict::allowVerdict()
                                     : NEFilterNewFlowVerdict::dropVerdict());
    };
}

}  // namespace tarnwick
