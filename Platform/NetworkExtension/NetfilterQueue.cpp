#include "NetfilterQueue.h"

#include <arpa/inet.h>
#include <cerrno>
#include <cstring>
#include <libmnl/libmnl.h>
#include <linux/netfilter.h>
#include <linux/netfilter/nfnetlink_queue.h>
#include <sys/socket.h>

extern "C" {
#include <libnetfilter_queue/libnetfilter_queue.h>
}

namespace tarnwick {

namespace {

constexpr std::uint32_t kQueueLength = 8192;

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

std::optional<std::string> NetfilterQueue::open(const std::vector<QueueSettings>& queues) {
    std::lock_guard lock(m_mutex);
    if (m_socket != nullptr) {
        return "the queues are open already";
    }
    m_socket = mnl_socket_open2(NETLINK_NETFILTER, SOCK_CLOEXEC);
    if (m_socket == nullptr) {
        return std::string("cannot open a netfilter socket: ") + std::strerror(errno);
    }
    if (mnl_socket_bind(m_socket, 0, MNL_SOCKET_AUTOPID) < 0) {
        const std::string error = std::strerror(errno);
        mnl_socket_close(m_socket);
        m_socket = nullptr;
        return "cannot bind the netfilter socket: " + error;
    }
    m_portId = mnl_socket_get_portid(m_socket);
    m_buffer.resize(0xffff + (MNL_SOCKET_BUFFER_SIZE / 2));
    int noBufferErrors = 1;
    mnl_socket_setsockopt(m_socket, NETLINK_NO_ENOBUFS, &noBufferErrors, sizeof(noBufferErrors));
    const int bufferSize = 8 << 20;
    ::setsockopt(mnl_socket_get_fd(m_socket), SOL_SOCKET, SO_RCVBUFFORCE, &bufferSize,
                 sizeof(bufferSize));

    for (const auto& queue : queues) {
        auto failure = configure(queue.number, [](void* header) {
            nfq_nlmsg_cfg_put_cmd(static_cast<nlmsghdr*>(header), AF_UNSPEC, NFQNL_CFG_CMD_BIND);
        });
        if (!failure) {
            failure = configure(queue.number, [&queue](void* raw) {
                auto* header = static_cast<nlmsghdr*>(raw);
                nfq_nlmsg_cfg_put_params(header, NFQNL_COPY_PACKET,
                                         static_cast<int>(queue.copyRange));
                nfq_nlmsg_cfg_put_qmaxlen(header, kQueueLength);
                // Fail open: a full queue lets packets pass. GSO: large packets come whole.
                mnl_attr_put_u32(header, NFQA_CFG_FLAGS,
                                 htonl(NFQA_CFG_F_FAIL_OPEN | NFQA_CFG_F_GSO));
                mnl_attr_put_u32(header, NFQA_CFG_MASK,
                                 htonl(NFQA_CFG_F_FAIL_OPEN | NFQA_CFG_F_GSO));
            });
        }
        if (failure) {
            mnl_socket_close(m_socket);
            m_socket = nullptr;
            return "cannot bind queue " + std::to_string(queue.number) + ": " + *failure;
        }
    }
    return std::nullopt;
}

std::optional<std::string> NetfilterQueue::configure(std::uint16_t queue,
                                                     const std::function<void(void*)>& fill) {
    std::vector<char> buffer(MNL_SOCKET_BUFFER_SIZE);
    nlmsghdr* header = nfq_nlmsg_put(buffer.data(), NFQNL_MSG_CONFIG, queue);
    header->nlmsg_flags |= NLM_F_ACK;
    const auto sequence = header->nlmsg_seq;
    fill(header);
    if (mnl_socket_sendto(m_socket, header, header->nlmsg_len) < 0) {
        return std::string(std::strerror(errno));
    }
    // The acknowledgement carries the kernel's answer (EBUSY when another program has the queue).
    const ssize_t received = mnl_socket_recvfrom(m_socket, buffer.data(), buffer.size());
    if (received < 0) {
        return std::string(std::strerror(errno));
    }
    if (mnl_cb_run(buffer.data(), static_cast<std::size_t>(received), sequence, m_portId, nullptr,
                   nullptr) < 0) {
        return std::string(std::strerror(errno));
    }
    return std::nullopt;
}

int NetfilterQueue::fileDescriptor() const {
    std::lock_guard lock(m_mutex);
    return m_socket != nullptr ? mnl_socket_get_fd(m_socket) : -1;
}

bool NetfilterQueue::receive(const std::function<void(const Packet&)>& handler) {
    mnl_socket* socket = nullptr;
    {
        std::lock_guard lock(m_mutex);
        socket = m_socket;
    }
    if (socket == nullptr) {
        return false;
    }
    const ssize_t received =
        ::recv(mnl_socket_get_fd(socket), m_buffer.data(), m_buffer.size(), MSG_DONTWAIT);
    if (received < 0) {
        return errno == EAGAIN || errno == EWOULDBLOCK || errno == EINTR || errno == ENOBUFS;
    }
    ReceiveContext context{&handler};
    mnl_cb_run(m_buffer.data(), static_cast<std::size_t>(received), 0, m_portId, onPacket,
               &context);
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
    std::lock_guard lock(m_mutex);
    if (m_socket != nullptr) {
        mnl_socket_sendto(m_socket, header, header->nlmsg_len);
    }
}

void NetfilterQueue::close() {
    std::lock_guard lock(m_mutex);
    if (m_socket != nullptr) {
        mnl_socket_close(m_socket);
        m_socket = nullptr;
    }
}

}  // namespace tarnwick
