#include "SocketDestroyEvent.h"

#include <cstring>
#include <sys/socket.h>

#include <linux/inet_diag.h>
#include <linux/netlink.h>
#include <linux/sock_diag.h>

namespace tarnwick {

namespace {

template <typename T>
T read(std::span<const std::uint8_t> bytes, std::size_t offset) {
    T value;
    std::memcpy(&value, bytes.data() + offset, sizeof(value));
    return value;
}

std::uint16_t bigEndian16(const std::uint8_t* bytes) {
    return static_cast<std::uint16_t>(bytes[0] << 8 | bytes[1]);
}

// The INET_DIAG_PROTOCOL attribute among the message's attributes; 0 when it is not there.
int protocolAttribute(std::span<const std::uint8_t> attributes) {
    std::size_t offset = 0;
    while (attributes.size() - offset >= sizeof(nlattr)) {
        const auto attribute = read<nlattr>(attributes, offset);
        if (attribute.nla_len < sizeof(nlattr) || attribute.nla_len > attributes.size() - offset) {
            return 0;
        }
        if ((attribute.nla_type & NLA_TYPE_MASK) == INET_DIAG_PROTOCOL &&
            attribute.nla_len >= sizeof(nlattr) + 1) {
            return attributes[offset + sizeof(nlattr)];
        }
        offset += NLA_ALIGN(attribute.nla_len);
        if (offset > attributes.size()) {
            return 0;
        }
    }
    return 0;
}

}  // namespace

std::vector<SocketDestroyEvent> SocketDestroyEvent::parse(std::span<const std::uint8_t> datagram) {
    std::vector<SocketDestroyEvent> events;
    std::size_t offset = 0;
    while (datagram.size() - offset >= sizeof(nlmsghdr)) {
        const auto header = read<nlmsghdr>(datagram, offset);
        if (header.nlmsg_len < sizeof(nlmsghdr) || header.nlmsg_len > datagram.size() - offset) {
            break;
        }
        const auto message =
            datagram.subspan(offset + NLMSG_HDRLEN, header.nlmsg_len - NLMSG_HDRLEN);
        if (header.nlmsg_type == SOCK_DIAG_BY_FAMILY && message.size() >= sizeof(inet_diag_msg)) {
            const auto diagnosis = read<inet_diag_msg>(message, 0);
            if (diagnosis.idiag_family == AF_INET || diagnosis.idiag_family == AF_INET6) {
                SocketDestroyEvent event;
                event.family = diagnosis.idiag_family;
                const std::size_t length = event.family == AF_INET ? 4 : 16;
                std::memcpy(event.local.data(), diagnosis.id.idiag_src, length);
                std::memcpy(event.remote.data(), diagnosis.id.idiag_dst, length);
                event.localPort =
                    bigEndian16(reinterpret_cast<const std::uint8_t*>(&diagnosis.id.idiag_sport));
                event.remotePort =
                    bigEndian16(reinterpret_cast<const std::uint8_t*>(&diagnosis.id.idiag_dport));
                const std::size_t attributesStart = NLMSG_ALIGN(sizeof(inet_diag_msg));
                if (message.size() > attributesStart) {
                    event.protocol = protocolAttribute(message.subspan(attributesStart));
                }
                events.push_back(event);
            }
        }
        const std::size_t advance = NLMSG_ALIGN(header.nlmsg_len);
        if (advance > datagram.size() - offset) {
            break;
        }
        offset += advance;
    }
    return events;
}

}  // namespace tarnwick
