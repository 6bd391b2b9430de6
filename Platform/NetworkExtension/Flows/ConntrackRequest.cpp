#include "ConntrackRequest.h"

#include <array>
#include <cstring>
#include <sys/socket.h>

#include <linux/netfilter/nfnetlink.h>
#include <linux/netfilter/nfnetlink_conntrack.h>
#include <linux/netlink.h>

namespace tarnwick {

namespace {

// Appends netlink attributes, each padded to four bytes; nests are closed by `end`.
class AttributeWriter {
public:
    explicit AttributeWriter(std::vector<std::uint8_t>& bytes) : m_bytes(bytes) {}

    void put(std::uint16_t type, const void* data, std::size_t length) {
        const std::size_t start = begin(type);
        append(data, length);
        end(start);
    }
    void putPort(std::uint16_t type, std::uint16_t port) {
        const std::uint8_t bigEndian[2] = {static_cast<std::uint8_t>(port >> 8),
                                           static_cast<std::uint8_t>(port & 0xff)};
        put(type, bigEndian, sizeof(bigEndian));
    }
    // The offset of the attribute's header, for `end`.
    std::size_t begin(std::uint16_t type) {
        const std::size_t start = m_bytes.size();
        const nlattr header{0, type};
        append(&header, sizeof(header));
        return start;
    }
    std::size_t beginNested(std::uint16_t type) { return begin(type | NLA_F_NESTED); }
    void end(std::size_t start) {
        const auto length = static_cast<std::uint16_t>(m_bytes.size() - start);
        std::memcpy(m_bytes.data() + start, &length, sizeof(length));
        m_bytes.resize(NLA_ALIGN(m_bytes.size()), 0);
    }

private:
    // Grown, then copied into: an insert of a pointer range trips GCC 12's bounds warning at -O3.
    void append(const void* data, std::size_t length) {
        const std::size_t at = m_bytes.size();
        m_bytes.resize(at + length);
        std::memcpy(m_bytes.data() + at, data, length);
    }

    std::vector<std::uint8_t>& m_bytes;
};

}  // namespace

std::vector<std::uint8_t> ConntrackRequest::deleteConnection(const FlowTable::Key& connection,
                                                             std::uint32_t sequence) {
    std::vector<std::uint8_t> bytes(NLMSG_HDRLEN + NLMSG_ALIGN(sizeof(nfgenmsg)), 0);
    nfgenmsg family{static_cast<std::uint8_t>(connection.family), NFNETLINK_V0, 0};
    std::memcpy(bytes.data() + NLMSG_HDRLEN, &family, sizeof(family));

    const bool ipv4 = connection.family == AF_INET;
    const std::size_t addressLength = ipv4 ? 4 : 16;
    AttributeWriter writer(bytes);
    const auto tuple = writer.beginNested(CTA_TUPLE_ORIG);
    const auto addresses = writer.beginNested(CTA_TUPLE_IP);
    writer.put(ipv4 ? CTA_IP_V4_SRC : CTA_IP_V6_SRC, connection.source.data(), addressLength);
    writer.put(ipv4 ? CTA_IP_V4_DST : CTA_IP_V6_DST, connection.destination.data(), addressLength);
    writer.end(addresses);
    const auto ports = writer.beginNested(CTA_TUPLE_PROTO);
    const auto protocol = static_cast<std::uint8_t>(connection.protocol);
    writer.put(CTA_PROTO_NUM, &protocol, sizeof(protocol));
    writer.putPort(CTA_PROTO_SRC_PORT, connection.sourcePort);
    writer.putPort(CTA_PROTO_DST_PORT, connection.destinationPort);
    writer.end(ports);
    writer.end(tuple);

    nlmsghdr header{};
    header.nlmsg_len = static_cast<std::uint32_t>(bytes.size());
    header.nlmsg_type = (NFNL_SUBSYS_CTNETLINK << 8) | IPCTNL_MSG_CT_DELETE;
    header.nlmsg_flags = NLM_F_REQUEST | NLM_F_ACK;
    header.nlmsg_seq = sequence;
    std::memcpy(bytes.data(), &header, sizeof(header));
    return bytes;
}

std::vector<std::uint8_t> ConntrackRequest::deleteMarked(std::uint32_t value, std::uint32_t mask,
                                                         std::uint32_t sequence) {
    std::vector<std::uint8_t> bytes(NLMSG_HDRLEN + NLMSG_ALIGN(sizeof(nfgenmsg)), 0);
    // Without a tuple the kernel deletes what the filter matches; family AF_UNSPEC with version
    // 0 reaches both families.
    const nfgenmsg family{AF_UNSPEC, NFNETLINK_V0, 0};
    std::memcpy(bytes.data() + NLMSG_HDRLEN, &family, sizeof(family));
    AttributeWriter writer(bytes);
    const auto bigEndian = [](std::uint32_t number) {
        return std::array<std::uint8_t, 4>{
            static_cast<std::uint8_t>(number >> 24), static_cast<std::uint8_t>(number >> 16),
            static_cast<std::uint8_t>(number >> 8), static_cast<std::uint8_t>(number)};
    };
    const auto markValue = bigEndian(value);
    const auto markMask = bigEndian(mask);
    writer.put(CTA_MARK, markValue.data(), markValue.size());
    writer.put(CTA_MARK_MASK, markMask.data(), markMask.size());

    nlmsghdr header{};
    header.nlmsg_len = static_cast<std::uint32_t>(bytes.size());
    header.nlmsg_type = (NFNL_SUBSYS_CTNETLINK << 8) | IPCTNL_MSG_CT_DELETE;
    header.nlmsg_flags = NLM_F_REQUEST | NLM_F_ACK;
    header.nlmsg_seq = sequence;
    std::memcpy(bytes.data(), &header, sizeof(header));
    return bytes;
}

}  // namespace tarnwick
