#pragma once

#include "NEFilterDataProvider.h"

#include <functional>
#include <memory>

namespace tarnwick {

// The process side of a system extension. `startSystemExtensionMode` makes this process the
// filter's host:
//   1. it takes the services lock, or stops the process (status 1, with the reason on standard
//      error) when another instance holds it: a second instance must not clear the running one's
//      rules or take its sockets;
//   2. SIGTERM, SIGINT and SIGHUP end it cleanly (rules removed, held flows let through, service
//      sockets removed), through `runUntilStopped`;
//   3. rules left behind by an earlier run that died are removed;
//   4. `openServices` runs: the extension opens the application's service there;
//   5. the stored filter configuration is applied: when it is enabled, the data provider made by
//      the registered factory starts;
//   6. the filter manager's service is served, so the application can switch the filter. It opens
//      last: an application that reached it finds every other service open too.
class NEProvider {
public:
    using FilterDataProviderFactory = std::function<std::shared_ptr<NEFilterDataProvider>()>;

    // Which provider the host creates when the filter is switched on. Stands in for the bundle's
    // list of provider classes; set it before starting.
    static void setFilterDataProviderFactory(FilterDataProviderFactory factory);

    static void startSystemExtensionMode(const std::function<void()>& openServices = {});

    // Serves the main queue until a signal has shut the filter down, then stops the signal
    // thread and the bundle look-ups, waiting a bounded time for look-ups stuck on a user's
    // files, and returns.
    static void runUntilStopped();
    // Ends the signal thread and joins it.
    static void stop();
};

}  // namespace tarnwick
