#pragma once

#include "ClosedSocketSweeper.h"
#include "FirewallRules.h"
#include "Foundation/FileDescriptor.h"
#include "Foundation/Result.h"
#include "NEFilterDataProvider.h"
#include "NEFilterFlowResumer.h"
#include "NetfilterQueue.h"
#include "NetworkExtension/Flows/FlowDecider.h"
#include "NetworkExtension/Flows/HostNameTable.h"
#include "SocketOwnerLookup.h"
#include "UserFairQueue.h"

#include <atomic>
#include <chrono>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <unordered_map>
#include <vector>

namespace tarnwick {

// Runs a data provider over the kernel's packet queues: the I/O around the flow decider. The two
// queues have threads of their own, so DNS answers never wait behind verdicts nor verdicts behind
// them:
//   - names: a DNS answer passes at once, then updates the host-name table;
//   - flows: several threads read the flow queue, each packet coming to one of them. The first
//     packet of a connection is parsed and handed to the decider with its socket and user (and
//     its process when that is where a socket was seen lately); the decider's bounds on held
//     flows apply before anything costly is done. A held flow whose process is known, or is
//     known to be none, is described to the provider on the thread that read it, so most flows
//     pass no other thread on their way to the provider; several are in flight at once. So is a
//     flow whose socket a program just started holds, found among the newest few processes;
//   - describing: the flows whose process must be searched for go to describing threads, which
//     search within a budget and describe the flow, users in turn, a user's searches one at a
//     time, so no user's flows wait behind another's search.
// Allow and drop are applied at once; pause holds the packets until `resumeFlow` or the pause
// limit. Drop repeats the packet through the rules with the drop mark, where it is rejected. An
// allowed UDP connection is removed from conntrack when its socket ends, so a later socket on its
// ports is asked about; while it lasts it carries its socket's user in its mark, so a datagram of
// another user's socket on the same ports comes back to the queue and is asked about as that
// socket's own connection (the connection keeps its first owner).
class FilterEngine final : public NEFilterFlowResumer,
                           public std::enable_shared_from_this<FilterEngine> {
public:
    // `applicationService`: the service the application connects to; its registered peer is exempt.
    FilterEngine(std::shared_ptr<NEFilterDataProvider> provider, FirewallRules::Settings settings,
                 std::string applicationService, FlowTable::Limits limits = {});
    ~FilterEngine() override;

    // Binds the queues and starts reading them.
    Result<void, std::string> start();
    // From now on every packet passes at once and held flows are let through: for the moments
    // while the rules that feed the queues are removed.
    void drain();
    // Stops reading; held flows are let through.
    void stop();

    void resumeFlow(std::uint64_t flowIdentifier, const NEFilterNewFlowVerdict& verdict) override;

private:
    // Threads reading the flow queue, and describing threads.
    static constexpr std::size_t kFlowThreads = 4;
    static constexpr std::size_t kDescribingThreads = 2;

    void run(NetfilterQueue& queue,
             const std::function<void(const NetfilterQueue::Packet&)>& handle, bool expires);
    void handleNameAnswer(const NetfilterQueue::Packet& packet);
    void handleNewConnection(const NetfilterQueue::Packet& packet);
    void describeLater(const FlowDecider::Decision& decision, const IPPacket& packet,
                       bool outbound);
    void describe(const FlowDecider::Decision& decision, const IPPacket& packet, bool outbound);
    // The same once the search for the flow's process is over (`pid` 0: none was found);
    // `pidfd` and `uid`: the process as the search held it, when it did.
    void describeOwned(const FlowDecider::Decision& decision, const IPPacket& packet, bool outbound,
                       pid_t pid, FileDescriptor pidfd = {}, uid_t uid = 0);
    void askProvider(const FlowDecider::Decision& decision, const IPPacket& packet, bool outbound,
                     pid_t pid, FileDescriptor pidfd = {}, uid_t uid = 0);
    bool isExempt(pid_t pid) const;
    void settle(std::uint64_t flowIdentifier, FlowDecider::Answer answer);
    void apply(const FlowTable::Release& release);
    void releaseAll();
    // Whom an accepted UDP packet's connection is marked as belonging to: its socket's user, or
    // no one new (the packet rides another socket's connection, or its sender has no user the
    // rules could name). `packetMark` is the packet's own mark, kept when it is repeated.
    struct OwnerPlan {
        bool marks = false;
        uid_t uid = 0;
        std::uint32_t packetMark = 0;
    };
    static OwnerPlan ownerPlan(const NetfilterQueue::Packet& packet, const IPPacket* parsed,
                               bool outbound, const std::optional<FlowDecider::Owner>& socket,
                               bool rides);
    // The mark to repeat an accepted packet with, so the rules mark its connection; nothing when
    // it is simply accepted.
    std::optional<std::uint32_t> repeatMark(const OwnerPlan& plan);
    // The slot of a user's connections, given out (with its rule) on first use; nothing when no
    // slot is left or the rule could not be added.
    std::optional<std::uint32_t> ownerSlot(uid_t uid);
    void setVerdict(std::uint32_t packetId, std::uint32_t mark, FlowTable::Verdict verdict,
                    std::optional<std::uint32_t> acceptMark = std::nullopt);

    const std::shared_ptr<NEFilterDataProvider> m_provider;
    const FirewallRules::Settings m_settings;
    const std::string m_applicationService;
    FlowDecider m_decider;
    HostNameTable m_names;
    SocketOwnerLookup m_owners;
    NetfilterQueue m_flowQueue;
    NetfilterQueue m_nameQueue;
    ClosedSocketSweeper m_closedSockets;
    // The decider's look-up of a connection and its recording of a new flow are one step.
    std::mutex m_decideMutex;
    std::vector<std::thread> m_flowThreads;
    std::thread m_nameThread;
    std::unique_ptr<UserFairQueue> m_describer;
    FileDescriptor m_wake;
    std::atomic<bool> m_stopping{false};
    std::atomic<bool> m_draining{false};
    const pid_t m_ownProcess;
    // The owners' slots, given out while this engine runs (the rules are new with it).
    std::mutex m_ownersMutex;
    FirewallRules m_ownerRules;
    std::unordered_map<uid_t, std::uint32_t> m_ownerSlots;  // 0: none could be given
    std::uint32_t m_nextOwnerSlot = 1;
    FileDescriptor m_conntrack;
    std::uint32_t m_conntrackSequence = 0;
    bool m_ownerSlotsFailed = false;
    // The plans of held flows, applied when they are released.
    std::mutex m_plansMutex;
    std::unordered_map<std::uint64_t, OwnerPlan> m_ownerPlans;
};

}  // namespace tarnwick
