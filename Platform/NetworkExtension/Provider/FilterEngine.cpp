#include "FilterEngine.h"

#include "AuditToken.h"
#include "NEFilterSocketFlow.h"
#include "NWHostEndpoint.h"
#include "NetworkExtension/Flows/ConntrackRequest.h"
#include "NetworkExtension/Flows/DNSResponse.h"
#include "NetworkExtension/Flows/IPPacket.h"
#include "OSLog/OSLog.h"
#include "XPC/XPCConnection.h"

#include <cerrno>
#include <cstring>
#include <exception>
#include <netinet/in.h>  // before linux/netfilter.h, which would define in_addr again
#include <sys/epoll.h>
#include <sys/eventfd.h>
#include <sys/socket.h>
#include <unistd.h>

#include <linux/netfilter.h>
#include <linux/netlink.h>

namespace tarnwick {

namespace {

const OSLog& engineLog() {
    // Never destroyed: threads that outlive main may still log.
    static const auto* log = new OSLog("com.brenlow-works.corvid", "filter");
    return *log;
}

// Every header the parser reads: any user can add an IPv6 routing header of up to 2 KiB to their
// sockets, and the ports behind it must be read, not guessed.
constexpr std::uint32_t kFlowCopyRange = IPPacket::kLongestHeaders;
constexpr std::uint32_t kNameCopyRange = 0xffff;

FlowDecider::Answer answerOf(const NEFilterNewFlowVerdict& verdict) {
    switch (verdict.kind()) {
        case NEFilterNewFlowVerdict::Kind::allow:
            return FlowDecider::Answer::allow;
        case NEFilterNewFlowVerdict::Kind::drop:
            return FlowDecider::Answer::drop;
        case NEFilterNewFlowVerdict::Kind::pause:
            return FlowDecider::Answer::pause;
    }
    return FlowDecider::Answer::failed;
}

}  // namespace

FilterEngine::FilterEngine(std::shared_ptr<NEFilterDataProvider> provider,
                           FirewallRules::Settings settings, std::string applicationService,
                           FlowTable::Limits limits)
    : m_provider(std::move(provider))
    , m_settings(settings)
    , m_applicationService(std::move(applicationService))
    , m_decider(limits)
    , m_ownProcess(::getpid())
    , m_ownerRules(settings) {}

FilterEngine::~FilterEngine() {
    stop();
}

Result<void, std::string> FilterEngine::start() {
    if (m_nameThread.joinable()) {
        return {};
    }
    if (auto opened = m_flowQueue.open({{m_settings.flowQueue, kFlowCopyRange, false}}); !opened) {
        return opened;
    }
    // DNS answers are only watched: a full name queue lets them pass rather than lose them.
    if (auto opened = m_nameQueue.open({{m_settings.nameQueue, kNameCopyRange, true}}); !opened) {
        m_flowQueue.close();
        return opened;
    }
    m_wake = FileDescriptor(::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK));
    if (!m_wake) {
        m_flowQueue.close();
        m_nameQueue.close();
        return Failure{std::string("cannot make an event descriptor")};
    }
    // Without it, answers about UDP connections outlive their sockets; filtering goes on.
    if (auto watching = m_closedSockets.start(); !watching) {
        osLog("A new UDP socket on the ports of an allowed one that ended may pass unasked: " +
                  watching.error(),
              OSLogType::error, engineLog());
    }
    m_stopping = false;
    m_draining = false;
    m_describer = std::make_unique<UserFairQueue>(kDescribingThreads);
    for (std::size_t i = 0; i < kFlowThreads; ++i) {
        // One of them lets flows through whose verdict did not come in time.
        m_flowThreads.emplace_back([this, expires = i == 0] {
            run(
                m_flowQueue, [this](const auto& packet) { handleNewConnection(packet); }, expires);
        });
    }
    m_nameThread = std::thread([this] {
        run(
            m_nameQueue, [this](const auto& packet) { handleNameAnswer(packet); }, false);
    });
    return {};
}

void FilterEngine::drain() {
    m_draining = true;
    releaseAll();
}

void FilterEngine::stop() {
    if (!m_nameThread.joinable()) {
        return;
    }
    m_stopping = true;
    const std::uint64_t one = 1;
    // The descriptor stays readable once written, so every thread sees it.
    (void)!::write(m_wake.get(), &one, sizeof(one));
    for (auto& thread : m_flowThreads) {
        thread.join();
    }
    m_flowThreads.clear();
    m_nameThread.join();
    // After the flow threads, which post to it; flows it had not described are released below.
    m_describer->stop();
    m_describer.reset();
    // Nothing waits for an answer that will no longer be applied.
    releaseAll();
    m_flowQueue.close();
    m_nameQueue.close();
    m_closedSockets.stop();
    m_wake.reset();
}

void FilterEngine::releaseAll() {
    for (const auto& release : m_decider.releaseAll()) {
        apply(release);
    }
}

void FilterEngine::resumeFlow(std::uint64_t flowIdentifier, const NEFilterNewFlowVerdict& verdict) {
    // Runs on the thread that read the answer: the verdict goes out from here, without a hop.
    if (verdict.kind() == NEFilterNewFlowVerdict::Kind::pause) {
        return;
    }
    if (auto release =
            m_decider.resume(flowIdentifier, verdict.kind() == NEFilterNewFlowVerdict::Kind::allow,
                             FlowTable::Clock::now())) {
        apply(*release);
    }
}

void FilterEngine::run(NetfilterQueue& queue,
                       const std::function<void(const NetfilterQueue::Packet&)>& handle,
                       bool expires) {
    // Each reader waits on a set of its own in which the queue wakes one waiter only, so a packet
    // wakes one thread, not all of them; the wake descriptor wakes every one.
    const FileDescriptor waiting(::epoll_create1(EPOLL_CLOEXEC));
    epoll_event packets{};
    packets.events = EPOLLIN | EPOLLEXCLUSIVE;
    packets.data.fd = queue.fileDescriptor();
    epoll_event wake{};
    wake.events = EPOLLIN;
    wake.data.fd = m_wake.get();
    if (!waiting ||
        ::epoll_ctl(waiting.get(), EPOLL_CTL_ADD, queue.fileDescriptor(), &packets) != 0 ||
        ::epoll_ctl(waiting.get(), EPOLL_CTL_ADD, m_wake.get(), &wake) != 0) {
        osLog(std::string("The packet queue cannot be waited on: ") + std::strerror(errno),
              OSLogType::fault, engineLog());
        return;
    }
    std::vector<char> buffer((&queue == &m_flowQueue ? kFlowCopyRange : kNameCopyRange) +
                             NetfilterQueue::kMessageOverhead);
    auto nextExpiry = FlowTable::Clock::now() + std::chrono::seconds(1);
    while (!m_stopping) {
        epoll_event ready[2];
        const int count = ::epoll_wait(waiting.get(), ready, 2, 1000);
        if (count < 0 && errno != EINTR) {
            osLog(std::string("The packet queue failed: ") + std::strerror(errno), OSLogType::fault,
                  engineLog());
            break;
        }
        for (int i = 0; i < count; ++i) {
            if (ready[i].data.fd == packets.data.fd && !queue.receive(handle, buffer)) {
                osLog(std::string("Reading the packet queue failed: ") + std::strerror(errno),
                      OSLogType::fault, engineLog());
                return;
            }
        }
        if (!expires) {
            continue;
        }
        const auto now = FlowTable::Clock::now();
        if (now >= nextExpiry) {
            nextExpiry = now + std::chrono::seconds(1);
            for (const auto& release : m_decider.expire(now)) {
                osLog("No verdict came for flow " + std::to_string(release.flowIdentifier) +
                          " in time; it is allowed",
                      OSLogType::error, engineLog());
                apply(release);
            }
        }
    }
}

void FilterEngine::handleNameAnswer(const NetfilterQueue::Packet& packet) {
    // Recorded before the answer goes on, so the connection that follows it finds the name; an
    // answer yields a bounded number of addresses, so this is short.
    try {
        if (auto parsed = IPPacket::parse(packet.payload);
            parsed && parsed->protocol == IPPROTO_UDP) {
            if (auto response = DNSResponse::parse(parsed->payload)) {
                const auto now = HostNameTable::Clock::now();
                for (const auto& address : response->addresses) {
                    m_names.record(address.address, response->questionName, address.timeToLive,
                                   now);
                }
            }
        }
    } catch (const std::exception& error) {
        osLog(std::string("A name answer could not be read: ") + error.what(), OSLogType::error,
              engineLog());
    }
    m_nameQueue.setVerdict(packet.queue, packet.id, NetfilterQueue::Verdict::accept);
}

void FilterEngine::handleNewConnection(const NetfilterQueue::Packet& packet) {
    using Kind = FlowDecider::Decision::Kind;
    if (m_draining) {
        m_flowQueue.setVerdict(packet.queue, packet.id, NetfilterQueue::Verdict::accept);
        return;
    }
    std::optional<IPPacket> parsed;
    FlowDecider::Decision decision;
    std::optional<FlowDecider::Owner> found;
    bool rides = false;
    const bool outbound = packet.hook == NF_INET_LOCAL_OUT;
    try {
        parsed = IPPacket::parse(packet.payload);
        // Looked for before the decider is taken, so the readers do not wait on each other's
        // look-ups; only where the socket is cheaply found: a search here would hold up packets.
        if (parsed) {
            if (const auto socket = m_owners.socketOf(*parsed, outbound)) {
                found = FlowDecider::Owner{socket->inode, socket->uid,
                                           m_owners.recentHolder(socket->inode)};
                // Sockets that share a port share the kernel's look-up, which gives one of them:
                // a datagram of another user's is that user's socket's, on another's connection.
                if (outbound && packet.uid && parsed->protocol == IPPROTO_UDP &&
                    socket->uid != *packet.uid) {
                    rides = true;
                    found = FlowDecider::Owner{0, *packet.uid, 0};
                    if (const auto other =
                            m_owners.datagramSocketOf(*parsed, *packet.uid, socket->inode)) {
                        found = FlowDecider::Owner{other->inode, other->uid,
                                                   m_owners.recentHolder(other->inode)};
                    }
                }
            }
        }
        const auto owner = [&found] { return found; };
        const auto exempt = [this](pid_t pid) { return isExempt(pid); };
        std::lock_guard lock(m_decideMutex);
        decision = m_decider.decide({packet.id, parsed ? &*parsed : nullptr}, owner, exempt,
                                    FlowTable::Clock::now());
    } catch (const std::exception& error) {
        // Nothing was recorded for this packet: it gets its verdict here.
        osLog(std::string("A packet could not be examined: ") + error.what(), OSLogType::error,
              engineLog());
        m_flowQueue.setVerdict(packet.queue, packet.id, NetfilterQueue::Verdict::accept);
        return;
    }
    const OwnerPlan plan = ownerPlan(packet, parsed ? &*parsed : nullptr, outbound, found, rides);
    switch (decision.kind) {
        case Kind::accept:
            setVerdict(packet.id, packet.mark, FlowTable::Verdict::accept, repeatMark(plan));
            return;
        case Kind::drop:
            setVerdict(packet.id, packet.mark, FlowTable::Verdict::reject);
            return;
        case Kind::discard:
            m_flowQueue.setVerdict(packet.queue, packet.id, NetfilterQueue::Verdict::drop);
            return;
        case Kind::join:
            return;
        case Kind::hold:
            if (plan.marks) {
                std::lock_guard lock(m_plansMutex);
                m_ownerPlans.emplace(decision.flowIdentifier, plan);
            }
            if (decision.owner && decision.owner->pid == 0 && decision.owner->socketInode != 0) {
                // A socket of a program just started is most often found among the newest few
                // processes, cheaply enough to spare the flow a hand-off; the rest are searched
                // for off this thread.
                SocketOwnerLookup::NewProcess newest;
                try {
                    newest =
                        m_owners.newestHolder(static_cast<ino_t>(decision.owner->socketInode),
                                              decision.owner->uid, SocketOwnerLookup::Clock::now());
                } catch (const std::exception&) {
                    // Searched for again off this thread, where a failure is logged.
                }
                if (newest.pid > 0) {
                    describeOwned(decision, *parsed, outbound, newest.pid, std::move(newest.pidfd),
                                  newest.uid);
                } else {
                    describeLater(decision, *parsed, outbound);
                }
            } else {
                // Nothing left to search for: the provider hears of it from here, without a
                // hand-off.
                describe(decision, *parsed, outbound);
            }
            return;
    }
}

FilterEngine::OwnerPlan FilterEngine::ownerPlan(const NetfilterQueue::Packet& packet,
                                                const IPPacket* parsed, bool outbound,
                                                const std::optional<FlowDecider::Owner>& socket,
                                                bool rides) {
    if (parsed == nullptr || parsed->protocol != IPPROTO_UDP || rides) {
        return {};
    }
    // The rules name a sender by the user the kernel gives its packets; a socket of the kernel's
    // has none, and its connection would come back to the queue datagram by datagram.
    if (outbound) {
        return packet.uid ? OwnerPlan{true, *packet.uid, packet.mark} : OwnerPlan{};
    }
    return socket ? OwnerPlan{true, socket->uid, packet.mark} : OwnerPlan{};
}

std::optional<std::uint32_t> FilterEngine::repeatMark(const OwnerPlan& plan) {
    if (!plan.marks) {
        return std::nullopt;
    }
    const auto slot = ownerSlot(plan.uid);
    if (!slot) {
        return std::nullopt;
    }
    return (plan.packetMark & ~m_settings.ownerMark) |
           FirewallRules::ownerMarkOf(m_settings, *slot);
}

std::optional<std::uint32_t> FilterEngine::ownerSlot(uid_t uid) {
    std::lock_guard lock(m_ownersMutex);
    if (auto known = m_ownerSlots.find(uid); known != m_ownerSlots.end()) {
        return known->second != 0 ? std::optional(known->second) : std::nullopt;
    }
    const std::uint32_t slot = m_nextOwnerSlot;
    std::string failure;
    if (slot > FirewallRules::slots(m_settings)) {
        failure = "more users than the connection mark holds";
    } else {
        // Connections marked with this slot by an earlier run belong to whoever had it then.
        if (!m_conntrack) {
            m_conntrack =
                FileDescriptor(::socket(AF_NETLINK, SOCK_RAW | SOCK_CLOEXEC, NETLINK_NETFILTER));
        }
        if (m_conntrack) {
            const auto request =
                ConntrackRequest::deleteMarked(FirewallRules::ownerMarkOf(m_settings, slot),
                                               m_settings.ownerMark, ++m_conntrackSequence);
            sockaddr_nl kernel{};
            kernel.nl_family = AF_NETLINK;
            // The kernel deletes before the send returns; its answer is read and let go.
            if (::sendto(m_conntrack.get(), request.data(), request.size(), 0,
                         reinterpret_cast<const sockaddr*>(&kernel), sizeof(kernel)) >= 0) {
                char answer[512];
                while (::recv(m_conntrack.get(), answer, sizeof(answer), MSG_DONTWAIT) > 0) {
                }
            }
        }
        if (auto added = m_ownerRules.addOwner(slot, uid); !added) {
            failure = added.error();
        }
    }
    if (!failure.empty()) {
        // Not tried again for this user: their connections stay unmarked, as they were.
        m_ownerSlots.emplace(uid, 0);
        if (!m_ownerSlotsFailed) {
            m_ownerSlotsFailed = true;
            osLog(
                "Sockets of other users that share an allowed UDP connection's ports may pass "
                "unasked: " +
                    failure,
                OSLogType::error, engineLog());
        }
        return std::nullopt;
    }
    m_ownerSlots.emplace(uid, slot);
    ++m_nextOwnerSlot;
    return slot;
}

bool FilterEngine::isExempt(pid_t pid) const {
    // Our own traffic and the registered application's (its geo lookups) never wait on a verdict;
    // a process that merely connected to the service is asked about like any.
    return pid == m_ownProcess || XPCConnection::isRegisteredPeerProcess(pid, m_applicationService);
}

void FilterEngine::describeLater(const FlowDecider::Decision& decision, const IPPacket& packet,
                                 bool outbound) {
    try {
        const uid_t user = decision.owner ? decision.owner->uid : static_cast<uid_t>(-1);
        IPPacket headers = packet;
        headers.payload = {};  // the queue's buffer, gone by the time the flow is described
        m_describer->post(
            user, [this, decision, headers, outbound] { describe(decision, headers, outbound); });
    } catch (const std::exception& error) {
        osLog(std::string("A flow could not be queued: ") + error.what(), OSLogType::error,
              engineLog());
        settle(decision.flowIdentifier, FlowDecider::Answer::failed);
    }
}

void FilterEngine::describe(const FlowDecider::Decision& decision, const IPPacket& packet,
                            bool outbound) {
    if (m_draining) {
        settle(decision.flowIdentifier, FlowDecider::Answer::failed);
        return;
    }
    pid_t pid = decision.owner ? decision.owner->pid : 0;
    if (decision.owner && pid == 0 && decision.owner->socketInode != 0) {
        try {
            // The packet thread tried where sockets were seen lately and the newest processes.
            // A socket no process holds, or one hidden among very many descriptors, ends the
            // search at its budget: the flow is then described without its process.
            pid = m_owners
                      .holderOf(static_cast<ino_t>(decision.owner->socketInode),
                                decision.owner->uid, SocketOwnerLookup::Clock::now(), true)
                      .pid;
        } catch (const std::exception& error) {
            osLog(std::string("The process behind a flow could not be looked for: ") + error.what(),
                  OSLogType::error, engineLog());
        }
        describeOwned(decision, packet, outbound, pid);
        return;
    }
    askProvider(decision, packet, outbound, pid);
}

void FilterEngine::describeOwned(const FlowDecider::Decision& decision, const IPPacket& packet,
                                 bool outbound, pid_t pid, FileDescriptor pidfd, uid_t uid) {
    if (pid > 0 && isExempt(pid)) {
        settle(decision.flowIdentifier, FlowDecider::Answer::allow);
        return;
    }
    if (auto refused = m_decider.attribute(decision.flowIdentifier, pid, FlowTable::Clock::now())) {
        apply(*refused);
        return;
    }
    askProvider(decision, packet, outbound, pid, std::move(pidfd), uid);
}

void FilterEngine::settle(std::uint64_t flowIdentifier, FlowDecider::Answer answer) {
    if (auto release = m_decider.answer(flowIdentifier, answer, FlowTable::Clock::now())) {
        apply(*release);
    }
}

void FilterEngine::askProvider(const FlowDecider::Decision& decision, const IPPacket& packet,
                               bool outbound, pid_t pid, FileDescriptor pidfd, uid_t uid) {
    // The flow is recorded: whatever fails from here on, the decider settles it exactly once.
    auto answer = FlowDecider::Answer::failed;
    try {
        auto flow = std::make_shared<NEFilterSocketFlow>(decision.flowIdentifier);
        const std::string local = outbound ? packet.sourceAddress() : packet.destinationAddress();
        const std::string remote = outbound ? packet.destinationAddress() : packet.sourceAddress();
        const auto localPort = outbound ? packet.sourcePort : packet.destinationPort;
        const auto remotePort = outbound ? packet.destinationPort : packet.sourcePort;
        flow->remoteEndpoint = std::make_shared<NWHostEndpoint>(remote, std::to_string(remotePort));
        flow->localEndpoint = std::make_shared<NWHostEndpoint>(local, std::to_string(localPort));
        flow->remoteHostname = m_names.lookup(remote, HostNameTable::Clock::now());
        flow->direction = outbound ? NETrafficDirection::outbound : NETrafficDirection::inbound;
        flow->socketFamily = packet.family;
        flow->socketType = packet.protocol == IPPROTO_TCP ? SOCK_STREAM : SOCK_DGRAM;
        flow->socketProtocol = packet.protocol;
        if (pid > 0) {
            // The search's pidfd and reading of the process's owner, when it found it, spare
            // reading them again.
            if (auto token = pidfd ? AuditToken::forProcess(pid, std::move(pidfd), uid)
                                   : AuditToken::forProcess(pid)) {
                flow->sourceAppAuditToken = token->encode();
            }
        }
        answer = answerOf(m_provider->handleNewFlow(flow));
    } catch (const std::exception& error) {
        osLog(std::string("The filter failed on a flow: ") + error.what(), OSLogType::error,
              engineLog());
    }
    settle(decision.flowIdentifier, answer);
}

void FilterEngine::apply(const FlowTable::Release& release) {
    OwnerPlan plan;
    {
        std::lock_guard lock(m_plansMutex);
        if (auto planned = m_ownerPlans.find(release.flowIdentifier);
            planned != m_ownerPlans.end()) {
            plan = planned->second;
            m_ownerPlans.erase(planned);
        }
    }
    std::optional<std::uint32_t> owner;
    if (release.verdict == FlowTable::Verdict::accept) {
        m_closedSockets.allowed(release.key);
        owner = repeatMark(plan);
    }
    for (const auto id : release.packetIds) {
        setVerdict(id, 0, release.verdict, owner);
    }
}

void FilterEngine::setVerdict(std::uint32_t packetId, std::uint32_t mark,
                              FlowTable::Verdict verdict, std::optional<std::uint32_t> acceptMark) {
    if (verdict == FlowTable::Verdict::accept && acceptMark) {
        // Through the rules again, which give the connection its owner and accept the packet.
        m_flowQueue.setVerdict(m_settings.flowQueue, packetId, NetfilterQueue::Verdict::repeat,
                               *acceptMark);
    } else if (verdict == FlowTable::Verdict::accept) {
        m_flowQueue.setVerdict(m_settings.flowQueue, packetId, NetfilterQueue::Verdict::accept);
    } else {
        m_flowQueue.setVerdict(m_settings.flowQueue, packetId, NetfilterQueue::Verdict::repeat,
                               mark | m_settings.dropMark);
    }
}

}  // namespace tarnwick
