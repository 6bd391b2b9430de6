#pragma once

#include "FirewallRules.h"
#include "FlowTable.h"
#include "HostNameTable.h"
#include "NEFilterDataProvider.h"
#include "NEFilterFlowResumer.h"
#include "NetfilterQueue.h"
#include "SocketOwnerLookup.h"

#include <atomic>
#include <chrono>
#include <memory>
#include <optional>
#include <string>
#include <thread>

namespace tarnwick {

// Runs a data provider over the kernel's packet queues. One thread reads the queues:
//   1. a DNS answer updates the host-name table and passes;
//   2. the first packet of a connection the table knows joins its waiting flow or gets its answer;
//   3. a new connection is traced to its process; this process's own connections and those of
//      the processes connected to the application's service (the application) pass without a
//      flow;
//   4. otherwise a flow is built and the provider asked; allow and drop are applied at once,
//      pause holds the packets until `resumeFlow` or the pause limit.
// Drop repeats the packet through the rules with the drop mark, where it is rejected.
class FilterEngine final : public NEFilterFlowResumer,
                           public std::enable_shared_from_this<FilterEngine> {
public:
    // `applicationService`: the service the application connects to; its peers are exempt.
    FilterEngine(std::shared_ptr<NEFilterDataProvider> provider, FirewallRules::Settings settings,
                 std::string applicationService, FlowTable::Limits limits = {});
    ~FilterEngine() override;

    // Binds the queues and starts reading them.
    std::optional<std::string> start();
    // Stops reading; held flows are let through.
    void stop();

    void resumeFlow(std::uint64_t flowIdentifier, const NEFilterNewFlowVerdict& verdict) override;

private:
    void run();
    void handle(const NetfilterQueue::Packet& packet);
    void handleNameAnswer(const NetfilterQueue::Packet& packet);
    void handleNewConnection(const NetfilterQueue::Packet& packet);
    void apply(const FlowTable::Release& release);
    void setVerdict(std::uint32_t packetId, std::uint32_t mark, FlowTable::Verdict verdict);

    const std::shared_ptr<NEFilterDataProvider> m_provider;
    const FirewallRules::Settings m_settings;
    const std::string m_applicationService;
    FlowTable m_table;
    HostNameTable m_names;
    SocketOwnerLookup m_owners;
    NetfilterQueue m_queue;
    std::thread m_thread;
    int m_wakeFd = -1;
    std::atomic<bool> m_stopping{false};
    std::atomic<std::uint64_t> m_nextFlowIdentifier{1};
    const pid_t m_ownProcess;
};

}  // namespace tarnwick
