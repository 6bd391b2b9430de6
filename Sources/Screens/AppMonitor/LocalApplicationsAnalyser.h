#pragma once

#include "LocalApplication.h"
#include "PUApplication.h"
#include "Tools/DenyListProvider.h"
#include "Tools/RestrictionPreference.h"

#include <functional>
#include <memory>
#include <vector>

namespace tarnwick {

// Weighs scanned applications against the detection rules in force.
class LocalApplicationsAnalyser {
public:
    using Applications = std::vector<std::shared_ptr<LocalApplication>>;
    using Results = std::vector<std::shared_ptr<PUApplication>>;
    using Completion = std::function<void(Results)>;

    virtual ~LocalApplicationsAnalyser() = default;
    // Returns at once; `completion` is called exactly once with the applications that gave at
    // least one reason, sorted by name.
    virtual void analyse(Applications applications, std::vector<DenyListProvider::Entry> denyList,
                         std::vector<RestrictionPreference> rules, Completion completion) = 0;
};

}  // namespace tarnwick
