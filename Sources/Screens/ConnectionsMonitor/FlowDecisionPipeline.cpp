#include "FlowDecisionPipeline.h"

#include "Dispatch/MainQueuePrecondition.h"
#include "FilterLink/FilterLinkProtocol.h"
#include "Foundation/Text.h"
#include "Locale/Locale.h"
#include "Logging/LogHub.h"
#include "Screens/Presenters/ConnectionAlertDecision.h"
#include "Tools/WorkspaceUtilities.h"

#include <algorithm>
#include <cctype>

namespace tarnwick {

namespace {

const std::string* find(const FlowDecisionPipeline::FlowInfo& flowInfo, const char* key) {
    const auto found = flowInfo.find(key);
    return found == flowInfo.end() ? nullptr : &found->second;
}

}  // namespace

FlowDecisionPipeline::FlowDecisionPipeline(Dependencies dependencies)
    : m_allowancesListManager(std::move(dependencies.allowancesListManager))
    , m_whois(std::move(dependencies.whois))
    , m_geoIPServiceHost(std::move(dependencies.geoIPServiceHost))
    , m_undesirableCountries(*dependencies.undesirableCountries)
    , m_workspace(*dependencies.workspace)
    , m_scheduler(*dependencies.scheduler)
    , m_mainQueue(std::move(dependencies.mainQueue))
    , m_alertTimeLimit(dependencies.alertTimeLimit)
    , m_record(std::move(dependencies.record)) {}

FlowDecisionPipeline::~FlowDecisionPipeline() {
    for (auto& pending : m_pendingAlerts) {
        pending.reply(true);
    }
}

void FlowDecisionPipeline::decide(const FlowInfo& flowInfo, ResponseHandler reply) {
    dispatchPreconditionOnMain();
    const auto* host = find(flowInfo, filterlink::kFlowInfoRemoteHostname);
    if (host && *host == m_geoIPServiceHost) {
        m_record(flowInfo, true);
        reply(true);
        return;
    }
    const auto* address = find(flowInfo, filterlink::kFlowInfoRemoteAddress);
    if (address && !address->empty()) {
        lookupCountryByGeoIP(flowInfo, *address, reply);
        return;
    }
    allowAndRecord(flowInfo, reply);
}

void FlowDecisionPipeline::allowAndRecord(const FlowInfo& flowInfo, const ResponseHandler& reply) {
    std::weak_ptr<FlowDecisionPipeline> weakSelf = weak_from_this();
    m_mainQueue->async([weakSelf, flowInfo, reply] {
        if (const auto self = weakSelf.lock()) {
            self->m_record(flowInfo, true);
        }
        reply(true);
    });
}

std::vector<std::string> FlowDecisionPipeline::currentTargetCountryCodes() const {
    std::vector<std::string> codes;
    for (const auto& country : m_undesirableCountries.currentUndesirableCountries()) {
        codes.push_back(asciiLowercased(country.countryCode()));
    }
    return codes;
}

void FlowDecisionPipeline::lookupCountryByGeoIP(const FlowInfo& flowInfo,
                                                const std::string& ipAddress,
                                                const ResponseHandler& reply) {
    if (!m_allowancesListManager) {
        allowAndRecord(flowInfo, reply);
        return;
    }
    const auto targets = currentTargetCountryCodes();
    const auto* url = find(flowInfo, filterlink::kFlowInfoUrl);
    std::weak_ptr<FlowDecisionPipeline> weakSelf = weak_from_this();
    auto fallback = [weakSelf, flowInfo, reply] {
        if (const auto self = weakSelf.lock()) {
            self->allowAndRecord(flowInfo, reply);
        } else {
            reply(true);
        }
    };
    const auto arrival = m_scheduler.now();
    m_whois->lookup(ipAddress, url ? std::optional(*url) : std::nullopt,
                    [weakSelf, flowInfo, reply, fallback, targets, ipAddress,
                     arrival](std::optional<WhoIs::Response> response) {
                        const auto self = weakSelf.lock();
                        if (!self || !response || response->country.empty() || response->isLocal ||
                            std::find(targets.begin(), targets.end(),
                                      asciiLowercased(response->country)) == targets.end()) {
                            fallback();
                            return;
                        }
                        PendingAlert flow{flowInfo, reply, response->country, ipAddress,
                                          arrival + self->m_alertTimeLimit};
                        self->m_mainQueue->async([weakSelf, flow = std::move(flow)]() mutable {
                            const auto pipeline = weakSelf.lock();
                            if (!pipeline) {
                                LogHub::info("Can't resolve main application window");
                                flow.reply(true);
                                return;
                            }
                            pipeline->decideByListsOrAlert(std::move(flow));
                        });
                    });
}

bool FlowDecisionPipeline::decideByLists(const PendingAlert& flow) {
    // The allow list is asked first, so a flow that both lists match is allowed.
    if (m_allowancesListManager->isAllowed(flow.flowInfo)) {
        m_record(flow.flowInfo, true);
        flow.reply(true);
        return true;
    }
    if (m_allowancesListManager->isDenied(flow.flowInfo)) {
        m_record(flow.flowInfo, false);
        flow.reply(false);
        return true;
    }
    return false;
}

void FlowDecisionPipeline::decideByListsOrAlert(PendingAlert flow) {
    dispatchPreconditionOnMain();
    if (decideByLists(flow)) {
        return;
    }
    m_pendingAlerts.push_back(std::move(flow));
    if (!m_isAlertShown) {
        showNextAlert();
    }
}

void FlowDecisionPipeline::showNextAlert() {
    dispatchPreconditionOnMain();
    while (!m_isAlertShown && !m_pendingAlerts.empty()) {
        PendingAlert flow = std::move(m_pendingAlerts.front());
        m_pendingAlerts.pop_front();
        // The previous answer may have settled this flow already.
        if (decideByLists(flow)) {
            continue;
        }
        m_isAlertShown = true;
        const auto alert = makeConnectionAlert(flow.flowInfo, flow.countryCode);
        std::weak_ptr<FlowDecisionPipeline> weakSelf = weak_from_this();
        m_allowancesListManager->runConnectionAlert(
            alert, flow.flowInfo, flow.remoteAddress, flow.deadline,
            [weakSelf, flowInfo = flow.flowInfo, reply = flow.reply](int answer) {
                const bool allow = ConnectionAlertDecision::allowsFlow(answer);
                const auto self = weakSelf.lock();
                if (self) {
                    self->m_record(flowInfo, allow);
                }
                reply(allow);
                if (self) {
                    self->m_isAlertShown = false;
                    self->showNextAlert();
                }
            });
    }
}

ConnectionAlert FlowDecisionPipeline::makeConnectionAlert(const FlowInfo& flowInfo,
                                                          const std::string& countryCode) const {
    ConnectionAlert alert;
    const auto* bundleId = find(flowInfo, filterlink::kFlowInfoBundleId);
    std::string name = "Unknown Application";
    if (bundleId) {
        const auto running = runningApplication(m_workspace, *bundleId);
        name = running && running->localizedName ? *running->localizedName : *bundleId;
        if (running) {
            alert.iconBundleIdentifier = running->bundleIdentifier;
        }
    }
    alert.messageText = "Potentially Unwanted Connection from " + name;
    const auto* host = find(flowInfo, filterlink::kFlowInfoRemoteHostname);
    const bool hasHost = host && !host->empty();
    const std::string code = asciiLowercased(countryCode);
    auto country = Locale::current().localizedStringForRegionCode(code);
    std::string upper = code;
    std::transform(upper.begin(), upper.end(), upper.begin(),
                   [](unsigned char c) { return static_cast<char>(std::toupper(c)); });
    if (!country || country->empty() || *country == upper || *country == code) {
        country = code;
    }
    const auto* address = find(flowInfo, filterlink::kFlowInfoRemoteAddress);
    alert.informativeText = (hasHost ? "Host: " + *host + "\n" : std::string()) +
                            "Country: " + *country + "\n" +
                            "IP: " + (address ? *address : std::string());
    alert.buttons = {"Allow this connection", "Deny this connection",
                     "Allow connections from " + name, "Deny connections from " + name};
    if (hasHost) {
        alert.buttons.push_back("Allow connections to " + *host);
        alert.buttons.push_back("Deny connections to " + *host);
    }
    return alert;
}

}  // namespace tarnwick
