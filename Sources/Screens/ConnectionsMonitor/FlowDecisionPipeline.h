#pragma once

#include "Dispatch/DispatchQueue.h"
#include "Dispatch/Scheduler.h"
#include "FilterLink/AppCommunication.h"
#include "Screens/Presenters/ConnectionAlert.h"
#include "Screens/Settings/SettingsAllowancesListManager.h"
#include "Tools/UndesirableCountriesManager.h"
#include "Tools/WhoIs.h"
#include "Workspace/Workspace.h"

#include <chrono>
#include <deque>
#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace tarnwick {

// Decides each flow the extension reports and replies to it exactly once:
//   1. the geo-IP service's own traffic is allowed at once, and so is a flow without a remote
//      address;
//   2. the remote address is placed by the geo-IP service; a failed look-up, a local address or
//      a country that is not a target is allowed;
//   3. a flow into a target country is decided by the allow list, then the deny list;
//   4. failing both, by the user's answer in the connection alert.
// Every verdict is handed to `record` before the reply.
//
// Main queue only. One alert is open at a time; flows that need one wait in order and are tested
// against the lists again before their alert is shown, since an earlier answer may have settled
// them. A flow whose alert is not answered by its deadline is dropped before the extension's own
// limit lets it through; flows still waiting when the pipeline goes are let through rather than
// left paused. Made as a shared pointer: its callbacks hold it weakly.
class FlowDecisionPipeline final : public std::enable_shared_from_this<FlowDecisionPipeline> {
public:
    using FlowInfo = AppCommunication::FlowInfo;
    using ResponseHandler = AppCommunication::ResponseHandler;
    // Puts a decided flow into the connection list.
    using Recorder = std::function<void(const FlowInfo& flowInfo, bool isAllowed)>;

    // Every member is required, but the list manager: without one every flow is allowed.
    struct Dependencies {
        std::shared_ptr<SettingsAllowancesListManager> allowancesListManager;
        std::shared_ptr<const WhoIs> whois;
        std::string geoIPServiceHost;
        const UndesirableCountriesManager* undesirableCountries = nullptr;
        const Workspace* workspace = nullptr;
        Scheduler* scheduler = nullptr;
        std::shared_ptr<DispatchQueue> mainQueue;
        // How long a flow may wait for the user's answer.
        std::chrono::milliseconds alertTimeLimit{};
        Recorder record;
    };

    explicit FlowDecisionPipeline(Dependencies dependencies);
    ~FlowDecisionPipeline();
    FlowDecisionPipeline(const FlowDecisionPipeline&) = delete;
    FlowDecisionPipeline& operator=(const FlowDecisionPipeline&) = delete;

    void decide(const FlowInfo& flowInfo, ResponseHandler reply);
    // The alert that asks about a flow into the country `countryCode`, not yet shown.
    ConnectionAlert makeConnectionAlert(const FlowInfo& flowInfo,
                                        const std::string& countryCode) const;

private:
    struct PendingAlert {
        FlowInfo flowInfo;
        ResponseHandler reply;
        std::string countryCode;
        std::string remoteAddress;
        Scheduler::TimePoint deadline;
    };

    void allowAndRecord(const FlowInfo& flowInfo, const ResponseHandler& reply);
    void lookupCountryByGeoIP(const FlowInfo& flowInfo, const std::string& ipAddress,
                              const ResponseHandler& reply);
    // Replies and records when a list decides the flow; false when neither does.
    bool decideByLists(const PendingAlert& flow);
    void decideByListsOrAlert(PendingAlert flow);
    void showNextAlert();
    std::vector<std::string> currentTargetCountryCodes() const;

    const std::shared_ptr<SettingsAllowancesListManager> m_allowancesListManager;
    const std::shared_ptr<const WhoIs> m_whois;
    const std::string m_geoIPServiceHost;
    const UndesirableCountriesManager& m_undesirableCountries;
    const Workspace& m_workspace;
    Scheduler& m_scheduler;
    const std::shared_ptr<DispatchQueue> m_mainQueue;
    const std::chrono::milliseconds m_alertTimeLimit;
    const Recorder m_record;

    std::deque<PendingAlert> m_pendingAlerts;
    bool m_isAlertShown = false;
};

}  // namespace tarnwick
