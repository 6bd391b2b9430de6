#pragma once

#include "NEFilterDataProvider.h"

#include <functional>
#include <memory>

namespace tarnwick {

// The process side of a system extension. `startSystemExtensionMode` makes this process the
// filter's host:
//   1. SIGTERM, SIGINT and SIGHUP end it cleanly (rules removed, held flows let through, service
//      sockets removed);
//   2. rules left behind by an earlier run that died are removed;
//   3. the stored filter configuration is applied: when it is enabled, the data provider made by
//      the registered factory starts;
//   4. the filter manager's service is served, so the application can switch the filter.
class NEProvider {
public:
    using FilterDataProviderFactory = std::function<std::shared_ptr<NEFilterDataProvider>()>;

    // Which provider the host creates when the filter is switched on. Stands in for the bundle's
    // list of provider classes; set it before starting.
    static void setFilterDataProviderFactory(FilterDataProviderFactory factory);

    static void startSystemExtensionMode();
};

}  // namespace tarnwick
