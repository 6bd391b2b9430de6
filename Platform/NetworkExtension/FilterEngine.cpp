#include "FilterEngine.h"

#include "AuditToken.h"
#include "DNSResponse.h"
#include "IPPacket.h"
#include "NEFilterSocketFlow.h"
#include "NWHostEndpoint.h"

#include "OSLog/OSLog.h"
#include "XPC/XPCConnection.h"

#include <cerrno>
#include <cstring>
#include <exception>
#include <netinet/in.h>  // before linux/netfilter.h, which would define in_addr again
#include <linux/netfilter.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <sys/socket.h>
#include <unistd.h>

namespace tarnwick {

namespace {

const OSLog& engineLog() {
    // Never destroyed: threads that outlive main may still log.
    static const auto* log = new OSLog("com.brenlow-works.corvid", "filter");
    return *log;
}

// Enough for an IPv6 header with a few extension headers and a TCP header with options.
constexpr std::uint32_t kFlowCopyRange = 256;
constexpr std::uint32_t kNameCopyRange = 0xffff;

}  // namespace

FilterEngine::FilterEngine(std::shared_ptr<NEFilterDataProvider> provider,
                           FirewallRules::Settings settings, std::string applicationService,
                           FlowTable::Limits limits)
    : m_provider(std::move(provider))
    , m_settings(settings)
    , m_applicationService(std::move(applicationService))
    , m_table(limits)
    , m_ownProcess(::getpid()) {}

FilterEngine::~FilterEngine() {
    stop();
}

std::optional<std::string> FilterEngine::start() {
    if (m_thread.joinable()) {
        return std::nullopt;
    }
    if (auto error = m_queue.open(
            {{m_settings.flowQueue, kFlowCopyRange}, {m_settings.nameQueue, kNameCopyRange}})) {
        return error;
    }
    m_wakeFd = ::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
    if (m_wakeFd < 0) {
        m_queue.close();
        return "cannot make an event descriptor";
    }
    m_stopping = false;
    m_thread = std::thread([this] { run(); });
    return std::nullopt;
}

void FilterEngine::stop() {
    if (!m_thread.joinable()) {
        return;
    }
    m_stopping = true;
    const std::uint64_t one = 1;
    [[maybe_unused]] const auto written = ::write(m_wakeFd, &one, sizeof(one));
    m_thread.join();
    // Nothing waits for an answer that will no longer be applied.
    for (const auto& release : m_table.releaseAll()) {
        apply(release);
    }
    m_queue.close();
    ::close(m_wakeFd);
    m_wakeFd = -1;
}

void FilterEngine::resumeFlow(std::uint64_t flowIdentifier, const NEFilterNewFlowVerdict& verdict) {
    if (auto release = m_table.resume(flowIdentifier, verdict, FlowTable::Clock::now())) {
        apply(*release);
    }
}

void FilterEngine::run() {
    const auto handler = [this](const NetfilterQueue::Packet& packet) { handle(packet); };
    auto nextExpiry = FlowTable::Clock::now() + std::chrono::seconds(1);
    while (!m_stopping) {
        pollfd descriptors[2] = {{m_queue.fileDescriptor(), POLLIN, 0}, {m_wakeFd, POLLIN, 0}};
        const int ready = ::poll(descriptors, 2, 1000);
        if (ready < 0 && errno != EINTR) {
            osLog(std::string("The packet queue failed: ") + std::strerror(errno), OSLogType::fault,
                  engineLog());
            break;
        }
        if (ready > 0 && (descriptors[0].revents & POLLIN)) {
            if (!m_queue.receive(handler)) {
                osLog(std::string("Reading the packet queue failed: ") + std::strerror(errno),
                      OSLogType::fault, engineLog());
                break;
            }
        }
        const auto now = FlowTable::Clock::now();
        if (now >= nextExpiry) {
            nextExpiry = now + std::chrono::seconds(1);
            for (const auto& release : m_table.expire(now)) {
                osLog("No verdict came for flow " + std::to_string(release.flowIdentifier) +
                          " in time; it is allowed",
                      OSLogType::error, engineLog());
                apply(release);
            }
        }
    }
}

void FilterEngine::handle(const NetfilterQueue::Packet& packet) {
    // Whatever happens below, the packet gets its verdict: an exception lets it through.
    try {
        if (packet.queue == m_settings.nameQueue) {
            handleNameAnswer(packet);
        } else {
            handleNewConnection(packet);
        }
    } catch (const std::exception& error) {
        osLog(std::string("A packet could not be examined: ") + error.what(), OSLogType::error,
              engineLog());
        m_queue.setVerdict(packet.queue, packet.id, NetfilterQueue::Verdict::accept);
    }
}

void FilterEngine::handleNameAnswer(const NetfilterQueue::Packet& packet) {
    if (auto parsed = IPPacket::parse(packet.payload); parsed && parsed->protocol == IPPROTO_UDP) {
        if (auto response = DNSResponse::parse(parsed->payload)) {
            const auto now = HostNameTable::Clock::now();
            for (const auto& address : response->addresses) {
                m_names.record(address.address, response->questionName, address.timeToLive, now);
            }
        }
    }
    m_queue.setVerdict(packet.queue, packet.id, NetfilterQueue::Verdict::accept);
}

void FilterEngine::handleNewConnection(const NetfilterQueue::Packet& packet) {
    const auto parsed = IPPacket::parse(packet.payload);
    if (!parsed) {
        m_queue.setVerdict(packet.queue, packet.id, NetfilterQueue::Verdict::accept);
        return;
    }
    const auto key = FlowTable::Key::of(*parsed);
    const auto now = FlowTable::Clock::now();
    const auto admission = m_table.admit(key, packet.id, now);
    switch (admission.kind) {
        case FlowTable::Admission::Kind::joined:
            return;
        case FlowTable::Admission::Kind::overflow:
            m_queue.setVerdict(packet.queue, packet.id, NetfilterQueue::Verdict::drop);
            return;
        case FlowTable::Admission::Kind::decided:
            setVerdict(packet.id, packet.mark, admission.verdict);
            return;
        case FlowTable::Admission::Kind::newFlow:
            break;
    }

    const bool outbound = packet.hook == NF_INET_LOCAL_OUT;
    const auto owner = m_owners.find(*parsed, outbound);
    if (owner && owner->pid > 0 &&
        (owner->pid == m_ownProcess ||
         XPCConnection::isConnectedPeerProcess(owner->pid, m_applicationService))) {
        // Our own traffic and the application's (its geo lookups) never wait on a verdict.
        m_table.remember(key, FlowTable::Verdict::accept, now);
        setVerdict(packet.id, packet.mark, FlowTable::Verdict::accept);
        return;
    }

    auto flow = std::make_shared<NEFilterSocketFlow>(m_nextFlowIdentifier++);
    const std::string local = outbound ? parsed->sourceAddress() : parsed->destinationAddress();
    const std::string remote = outbound ? parsed->destinationAddress() : parsed->sourceAddress();
    const auto localPort = outbound ? parsed->sourcePort : parsed->destinationPort;
    const auto remotePort = outbound ? parsed->destinationPort : parsed->sourcePort;
    flow->remoteEndpoint = std::make_shared<NWHostEndpoint>(remote, std::to_string(remotePort));
    flow->localEndpoint = std::make_shared<NWHostEndpoint>(local, std::to_string(localPort));
    flow->remoteHostname = m_names.lookup(remote, HostNameTable::Clock::now());
    flow->direction = outbound ? NETrafficDirection::outbound : NETrafficDirection::inbound;
    flow->socketFamily = parsed->family;
    flow->socketType = parsed->protocol == IPPROTO_TCP ? SOCK_STREAM : SOCK_DGRAM;
    flow->socketProtocol = parsed->protocol;
    if (owner && owner->pid > 0) {
        if (auto token = AuditToken::forProcess(owner->pid)) {
            flow->sourceAppAuditToken = token->encode();
        }
    }

    m_table.begin(key, flow->identifier(), packet.id, now);
    auto verdict = NEFilterNewFlowVerdict::allowVerdict();
    try {
        verdict = m_provider->handleNewFlow(flow);
    } catch (const std::exception& error) {
        osLog(std::string("The filter failed on a flow: ") + error.what(), OSLogType::error,
              engineLog());
    }
    if (auto release = m_table.settle(flow->identifier(), verdict, FlowTable::Clock::now())) {
        apply(*release);
    }
}

void FilterEngine::apply(const FlowTable::Release& release) {
    for (const auto id : release.packetIds) {
        setVerdict(id, 0, release.verdict);
    }
}

void FilterEngine::setVerdict(std::uint32_t packetId, std::uint32_t mark,
                              FlowTable::Verdict verdict) {
    if (verdict == FlowTable::Verdict::accept) {
        m_queue.setVerdict(m_settings.flowQueue, packetId, NetfilterQueue::Verdict::accept);
    } else {
        m_queue.setVerdict(m_settings.flowQueue, packetId, NetfilterQueue::Verdict::repeat,
                           mark | m_settings.dropMark);
    }
}

}  // namespace tarnwick
