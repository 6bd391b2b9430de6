#include "NetfilterQueue.h"

#include <arpa/inet.h>
#include <cerrno>
#include <cstring>
#include <sys/socket.h>

#include <libmnl/libmnl.h>
#include <linux/netfilter.h>
#include <linux/netfilter/nfnetlink_queue.h>

extern "C" {
#include <libnetfilter_queue/libnetfilter_queue.h>
}

namespace tarnwick {

namespace {

std::string systemError(const std::string& what) {
    return what + ": " + std::strerror(errno);
}

bool sendToKernel(int fd, const nlmsghdr* header) {
    sockaddr_nl kernel{};
    kernel.nl_family = AF_NETLINK;
    return ::sendto(fd, header, header->nlmsg_len, 0, reinterpret_cast<const sockaddr*>(&kernel),
                    sizeof(kernel)) >= 0;
}

struct ReceiveContext {
    const std::function<void(const NetfilterQueue::Packet&)>* handler;
};

int onPacket(const nlmsghdr* header, void* data) {
    auto* context = static_cast<ReceiveContext*>(data);
    nlattr* attributes[NFQA_MAX + 1] = {};
    if (nfq_nlmsg_parse(header, attributes) < 0 || attributes[NFQA_PACKET_HDR] == nullptr) {
        return MNL_CB_OK;
    }
    const auto* generic =
        static_cast<const nfgenmsg*>(mnl_nlmsg_get_payload(const_cast<nlmsghdr*>(header)));
    const auto* packetHeader =
        static_cast<const nfqnl_msg_packet_hdr*>(mnl_attr_get_payload(attributes[NFQA_PACKET_HDR]));
    NetfilterQueue::Packet packet;
    packet.queue = ntohs(generic->res_id);
    packet.id = ntohl(packetHeader->packet_id);
    packet.hook = packetHeader->hook;
    if (attributes[NFQA_MARK] != nullptr) {
        packet.mark = ntohl(mnl_attr_get_u32(attributes[NFQA_MARK]));
    }
    if (attributes[NFQA_UID] != nullptr) {
        packet.uid = ntohl(mnl_attr_get_u32(attributes[NFQA_UID]));
    }
    if (attributes[NFQA_PAYLOAD] != nullptr) {
        packet.payload = std::span<const std::uint8_t>(
            static_cast<const std::uint8_t*>(mnl_attr_get_payload(attributes[NFQA_PAYLOAD])),
            mnl_attr_get_payload_len(attributes[NFQA_PAYLOAD]));
    }
    (*context->handler)(packet);
    return MNL_CB_OK;
}

}  // namespace

NetfilterQueue::~NetfilterQueue() {
    close();
}

Result<void, std::string> NetfilterQueue::open(const std::vector<QueueSettings>& queues) {
    std::lock_guard lock(m_mutex);
    if (m_socket) {
        return Failure{std::string("the queues are open already")};
    }
    FileDescriptor socket(::socket(AF_NETLINK, SOCK_RAW | SOCK_CLOEXEC, NETLINK_NETFILTER));
    if (!socket) {
        return Failure{systemError("cannot open a netfilter socket")};
    }
    sockaddr_nl local{};
    local.nl_family = AF_NETLINK;
    socklen_t length = sizeof(local);
    if (::bind(socket.get(), reinterpret_cast<sockaddr*>(&local), sizeof(local)) != 0 ||
        ::getsockname(socket.get(), reinterpret_cast<sockaddr*>(&local), &length) != 0) {
        return Failure{systemError("cannot bind the netfilter socket")};
    }
    m_portId = local.nl_pid;
    m_buffer.resize(0xffff + kMessageOverhead);
    // Lost notifications are not errors: a full socket drops packets as a full queue does.
    int noBufferErrors = 1;
    (void)::setsockopt(socket.get(), SOL_NETLINK, NETLINK_NO_ENOBUFS, &noBufferErrors,
                       sizeof(noBufferErrors));
    const int bufferSize = 8 << 20;
    (void)::setsockopt(socket.get(), SOL_SOCKET, SO_RCVBUFFORCE, &bufferSize, sizeof(bufferSize));
    m_socket = std::move(socket);

    for (const auto& queue : queues) {
        auto bound = configure(queue.number, [](void* header) {
            nfq_nlmsg_cfg_put_cmd(static_cast<nlmsghdr*>(header), AF_UNSPEC, NFQNL_CFG_CMD_BIND);
        });
        if (bound) {
            bound = configure(queue.number, [&queue](void* raw) {
                auto* header = static_cast<nlmsghdr*>(raw);
                nfq_nlmsg_cfg_put_params(header, NFQNL_COPY_PACKET,
                                         static_cast<int>(queue.copyRange));
                nfq_nlmsg_cfg_put_qmaxlen(header, kQueueLength);
                // GSO: large packets come whole. Fail open only where asked: a full flow queue
                // passing connections unasked would be a way around the filter.
                // The sender's user tells sockets that share a connection's ports apart.
                const std::uint32_t flags = NFQA_CFG_F_GSO | NFQA_CFG_F_UID_GID |
                                            (queue.passWhenFull ? NFQA_CFG_F_FAIL_OPEN : 0);
                mnl_attr_put_u32(header, NFQA_CFG_FLAGS, htonl(flags));
                mnl_attr_put_u32(header, NFQA_CFG_MASK,
                                 htonl(NFQA_CFG_F_FAIL_OPEN | NFQA_CFG_F_GSO | NFQA_CFG_F_UID_GID));
            });
        }
        if (!bound) {
            m_socket.reset();
            return Failure{"cannot bind queue " + std::to_string(queue.number) + ": " +
                           bound.error()};
        }
    }
    return {};
}

Result<void, std::string> NetfilterQueue::configure(std::uint16_t queue,
                                                    const std::function<void(void*)>& fill) {
    std::vector<char> buffer(MNL_SOCKET_BUFFER_SIZE);
    nlmsghdr* header = nfq_nlmsg_put(buffer.data(), NFQNL_MSG_CONFIG, queue);
    header->nlmsg_flags |= NLM_F_ACK;
    const auto sequence = header->nlmsg_seq;
    fill(header);
    if (!sendToKernel(m_socket.get(), header)) {
        return Failure{std::string(std::strerror(errno))};
    }
    // The acknowledgement carries the kernel's answer (EBUSY when another program has the queue).
    const ssize_t received = ::recv(m_socket.get(), buffer.data(), buffer.size(), 0);
    if (received < 0) {
        return Failure{std::string(std::strerror(errno))};
    }
    if (mnl_cb_run(buffer.data(), static_cast<std::size_t>(received), sequence, m_portId, nullptr,
                   nullptr) < 0) {
        return Failure{std::string(std::strerror(errno))};
    }
    return {};
}

int NetfilterQueue::fileDescriptor() const {
    std::shared_lock lock(m_mutex);
    return m_socket.get();
}

bool NetfilterQueue::receive(const std::function<void(const Packet&)>& handler) {
    return receive(handler, m_buffer);
}

bool NetfilterQueue::receive(const std::function<void(const Packet&)>& handler,
                             std::vector<char>& buffer) {
    // `close` comes after the threads that read have ended.
    const int socket = fileDescriptor();
    if (socket < 0) {
        return false;
    }
    const ssize_t received = ::recv(socket, buffer.data(), buffer.size(), MSG_DONTWAIT);
    if (received < 0) {
        return errno == EAGAIN || errno == EWOULDBLOCK || errno == EINTR || errno == ENOBUFS;
    }
    ReceiveContext context{&handler};
    mnl_cb_run(buffer.data(), static_cast<std::size_t>(received), 0, m_portId, onPacket, &context);
    return true;
}

void NetfilterQueue::setVerdict(std::uint16_t queue, std::uint32_t packetId, Verdict verdict,
                                std::optional<std::uint32_t> mark) {
    char buffer[256];
    nlmsghdr* header = nfq_nlmsg_put(buffer, NFQNL_MSG_VERDICT, queue);
    const int kernelVerdict = verdict == Verdict::accept ? NF_ACCEPT
                              : verdict == Verdict::drop ? NF_DROP
                                                         : NF_REPEAT;
    nfq_nlmsg_verdict_put(header, static_cast<int>(packetId), kernelVerdict);
    if (mark) {
        nfq_nlmsg_verdict_put_mark(header, *mark);
    }
    std::shared_lock lock(m_mutex);
    if (m_socket) {
        // A verdict the kernel does not take leaves the packet to the queue's own end: nothing
        // better can be done from here.
        (void)sendToKernel(m_socket.get(), header);
    }
}

void NetfilterQueue::close() {
    std::lock_guard lock(m_mutex);
    m_socket.reset();
}

}  // namespace tarnwick
