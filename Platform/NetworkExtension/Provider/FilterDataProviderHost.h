#pragma once

#include "FilterConfigurationHost.h"
#include "FilterEngine.h"
#include "FirewallRules.h"
#include "NEFilterDataProvider.h"

#include <functional>
#include <memory>
#include <optional>
#include <string>

namespace tarnwick {

// Switches the data provider on and off for the configuration host. On: creates the provider,
// waits for its start, opens the packet queues, then adds the rules that feed them. Off, in the
// opposite order: held flows pass and the queues pass everything, then the rules go, then the
// queues close and the provider stops.
class FilterDataProviderHost final : public FilterConfigurationHost::FilterSwitch {
public:
    using ProviderFactory = std::function<std::shared_ptr<NEFilterDataProvider>()>;

    // `applicationService`: the service the application connects to (its traffic is exempt).
    FilterDataProviderHost(ProviderFactory factory, FirewallRules rules,
                           std::string applicationService);
    ~FilterDataProviderHost() override;

    Result<void, std::string> startFilter() override;
    void stopFilter() override;
    // The rules that feed the flow queue are in place and the kernel has the queue bound.
    Health health() override;

private:
    void stopProvider(NEProviderStopReason reason);

    ProviderFactory m_factory;
    FirewallRules m_rules;
    std::string m_applicationService;
    std::shared_ptr<NEFilterDataProvider> m_provider;
    std::shared_ptr<FilterEngine> m_engine;
};

}  // namespace tarnwick
