#include "Shell/FilterShutdown.h"

#include "Dispatch/DispatchQueue.h"

namespace tarnwick {

void FilterShutdown::run(FilterManager manager, std::function<void()> done, Scheduler& scheduler,
                         Scheduler::Duration limit) {
    // Whichever comes first, the saved configuration or the time limit, ends the application;
    // the other finds the flag already set.
    struct Once {
        std::function<void()> done;
        bool finished = false;
    };
    auto once = std::make_shared<Once>(Once{std::move(done)});
    const auto finish = [once] {
        DispatchQueue::main()->async([once] {
            if (!once->finished) {
                once->finished = true;
                once->done();
            }
        });
    };
    DispatchQueue::main()->asyncAfter(limit, finish, scheduler);
    auto save = manager.save;
    manager.load([save, finish](const std::optional<FilterConfiguration>& loaded) {
        FilterConfiguration configuration = loaded.value_or(FilterConfiguration{});
        configuration.enabled = false;
        save(configuration, finish);
    });
}

}  // namespace tarnwick
