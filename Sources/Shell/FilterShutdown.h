#pragma once

#include "Dispatch/Scheduler.h"
#include "FilterLink/FilterConfiguration.h"

#include <functional>
#include <memory>
#include <optional>
#include <string>

namespace tarnwick {

// Switches the content filter off when the application quits: load the filter configuration,
// save it disabled, then let the application end. Load and save errors do not stop the quit, and
// neither does a filter host that never answers: after `limit` the application ends anyway, so
// quitting never hangs. `done` runs exactly once, on the main queue.
class FilterShutdown {
public:
    struct FilterManager {
        std::function<void(std::function<void(const std::optional<FilterConfiguration>&)>)> load;
        std::function<void(const FilterConfiguration&, std::function<void()>)> save;
    };
    static constexpr Scheduler::Duration defaultLimit = std::chrono::seconds(3);

    static void run(FilterManager manager, std::function<void()> done,
                    Scheduler& scheduler = Scheduler::system(),
                    Scheduler::Duration limit = defaultLimit);
};

}  // namespace tarnwick
