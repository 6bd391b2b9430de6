#pragma once

#include "Screens/Presenters/ConnectionAlert.h"

#include <functional>
#include <map>
#include <string>

namespace tarnwick {

// How the flow decision consults and changes the allow and deny lists. Main queue only.
class SettingsAllowancesListManager {
public:
    using FlowInfo = std::map<std::string, std::string>;

    virtual ~SettingsAllowancesListManager() = default;
    virtual bool isAllowed(const FlowInfo& flowInfo) = 0;
    virtual bool isDenied(const FlowInfo& flowInfo) = 0;
    // Shows the alert, adds the entry that the answer names to its list and saves the lists, then
    // hands the answer on, once. An alert still open at `deadline` is closed and answers
    // `ConnectionAlert::kNoAnswer`.
    virtual void runConnectionAlert(const ConnectionAlert& alert, const FlowInfo& flowInfo,
                                    const std::string& remoteAddress,
                                    std::chrono::steady_clock::time_point deadline,
                                    std::function<void(int)> completion) = 0;
};

}  // namespace tarnwick
