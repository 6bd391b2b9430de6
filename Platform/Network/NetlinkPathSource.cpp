#include "NetlinkPathSource.h"

#include "Foundation/FileDescriptor.h"
#include "Foundation/NetlinkPayload.h"
#include "OSLog/OSLog.h"

#include <array>
#include <cerrno>
#include <cstdint>
#include <cstring>
#include <functional>
#include <net/if.h>
#include <poll.h>
#include <set>
#include <string>
#include <sys/eventfd.h>
#include <sys/socket.h>
#include <unistd.h>
#include <utility>

#include <linux/netlink.h>
#include <linux/rtnetlink.h>

namespace tarnwick {

namespace {

constexpr std::size_t kBufferSize = 64 * 1024;

}  // namespace

namespace {

FileDescriptor openRouteSocket(std::uint32_t groups) {
    FileDescriptor fd(socket(AF_NETLINK, SOCK_RAW | SOCK_CLOEXEC, NETLINK_ROUTE));
    if (!fd) {
        return fd;
    }
    sockaddr_nl address{};
    address.nl_family = AF_NETLINK;
    address.nl_groups = groups;
    if (bind(fd.get(), reinterpret_cast<const sockaddr*>(&address), sizeof(address)) != 0) {
        return FileDescriptor();
    }
    return fd;
}

// Sends one dump request and hands every answer message to `each`. False when the dump fails.
template <typename Body>
bool dump(int fd, std::uint16_t type, const Body& body, std::uint32_t sequence,
          const std::function<void(const nlmsghdr&)>& each) {
    struct {
        nlmsghdr header;
        Body body;
    } request{};
    request.header.nlmsg_len = NLMSG_LENGTH(sizeof(Body));
    request.header.nlmsg_type = type;
    request.header.nlmsg_flags = NLM_F_REQUEST | NLM_F_DUMP;
    request.header.nlmsg_seq = sequence;
    request.body = body;

    sockaddr_nl kernel{};
    kernel.nl_family = AF_NETLINK;
    if (sendto(fd, &request, request.header.nlmsg_len, 0, reinterpret_cast<sockaddr*>(&kernel),
               sizeof(kernel)) < 0) {
        return false;
    }

    std::array<char, kBufferSize> buffer;
    for (;;) {
        const ssize_t received = recv(fd, buffer.data(), buffer.size(), 0);
        if (received < 0) {
            if (errno == EINTR) {
                continue;
            }
            return false;
        }
        int length = static_cast<int>(received);
        for (auto* message = reinterpret_cast<nlmsghdr*>(buffer.data()); NLMSG_OK(message, length);
             message = NLMSG_NEXT(message, length)) {
            if (message->nlmsg_seq != sequence) {
                continue;
            }
            if (message->nlmsg_type == NLMSG_DONE) {
                return true;
            }
            if (message->nlmsg_type == NLMSG_ERROR) {
                return false;
            }
            each(*message);
        }
    }
}

// Interfaces that are up, have a carrier and are not loopback.
bool readUsableInterfaces(int fd, std::set<int>& usable) {
    ifinfomsg body{};
    body.ifi_family = AF_UNSPEC;
    return dump(fd, RTM_GETLINK, body, 1, [&](const nlmsghdr& message) {
        if (message.nlmsg_type != RTM_NEWLINK ||
            message.nlmsg_len < NLMSG_LENGTH(sizeof(ifinfomsg))) {
            return;
        }
        const auto* link = netlinkPayload<ifinfomsg>(message);
        const unsigned flags = link->ifi_flags;
        if ((flags & IFF_UP) && (flags & IFF_RUNNING) && !(flags & IFF_LOOPBACK)) {
            usable.insert(link->ifi_index);
        }
    });
}

// Interfaces through which a default unicast route leaves.
bool readDefaultRouteInterfaces(int fd, std::set<int>& interfaces) {
    rtmsg body{};
    body.rtm_family = AF_UNSPEC;
    return dump(fd, RTM_GETROUTE, body, 2, [&](const nlmsghdr& message) {
        if (message.nlmsg_type != RTM_NEWROUTE || message.nlmsg_len < NLMSG_LENGTH(sizeof(rtmsg))) {
            return;
        }
        const auto* route = netlinkPayload<rtmsg>(message);
        if (route->rtm_dst_len != 0 || route->rtm_type != RTN_UNICAST ||
            (route->rtm_flags & (RTNH_F_DEAD | RTNH_F_LINKDOWN))) {
            return;
        }
        std::uint32_t table = route->rtm_table;
        std::set<int> found;
        int length = static_cast<int>(RTM_PAYLOAD(&message));
        for (const auto* attribute = RTM_RTA(route); RTA_OK(attribute, length);
             attribute = RTA_NEXT(attribute, length)) {
            if (attribute->rta_type == RTA_TABLE &&
                RTA_PAYLOAD(attribute) >= sizeof(std::uint32_t)) {
                std::memcpy(&table, RTA_DATA(attribute), sizeof(table));
            } else if (attribute->rta_type == RTA_OIF && RTA_PAYLOAD(attribute) >= sizeof(int)) {
                int index = 0;
                std::memcpy(&index, RTA_DATA(attribute), sizeof(index));
                found.insert(index);
            } else if (attribute->rta_type == RTA_MULTIPATH) {
                int remaining = static_cast<int>(RTA_PAYLOAD(attribute));
                const auto* hop = static_cast<const rtnexthop*>(RTA_DATA(attribute));
                while (RTNH_OK(hop, remaining)) {
                    if (!(hop->rtnh_flags & (RTNH_F_DEAD | RTNH_F_LINKDOWN))) {
                        found.insert(hop->rtnh_ifindex);
                    }
                    remaining -= static_cast<int>(RTNH_ALIGN(hop->rtnh_len));
                    hop = RTNH_NEXT(hop);
                }
            }
        }
        if (table != RT_TABLE_LOCAL) {
            interfaces.insert(found.begin(), found.end());
        }
    });
}

}  // namespace

NetworkPath NetlinkPathSource::readCurrentPath() {
    FileDescriptor fd = openRouteSocket(0);
    if (fd.get() < 0) {
        return {};
    }
    std::set<int> usable;
    std::set<int> routed;
    if (!readUsableInterfaces(fd.get(), usable) || !readDefaultRouteInterfaces(fd.get(), routed)) {
        return {};
    }
    for (const int index : routed) {
        if (usable.contains(index)) {
            return NetworkPath{NetworkPath::Status::satisfied};
        }
    }
    return NetworkPath{NetworkPath::Status::unsatisfied};
}

NetlinkPathSource::~NetlinkPathSource() {
    stop();
}

void NetlinkPathSource::start(Observer observer) {
    stop();
    FileDescriptor events = openRouteSocket(RTMGRP_LINK | RTMGRP_IPV4_IFADDR | RTMGRP_IPV6_IFADDR |
                                            RTMGRP_IPV4_ROUTE | RTMGRP_IPV6_ROUTE);
    FileDescriptor stopEvent(eventfd(0, EFD_CLOEXEC));
    if (events.get() < 0 || stopEvent.get() < 0) {
        osLog(std::string("Unable to watch network routes: ") + std::strerror(errno),
              OSLogType::error);
        // Without a way to watch, the path is reported once, as it is now.
        observer(readCurrentPath());
        return;
    }
    std::lock_guard lock(m_mutex);
    m_stopEvent = std::make_shared<FileDescriptor>(stopEvent.release());
    m_thread =
        std::thread([this, eventSocket = events.release(), stop = m_stopEvent,
                     observer = std::move(observer)] { run(eventSocket, stop->get(), observer); });
}

void NetlinkPathSource::stop() {
    std::thread thread;
    std::shared_ptr<FileDescriptor> stopEvent;
    {
        std::lock_guard lock(m_mutex);
        thread = std::move(m_thread);
        stopEvent = std::move(m_stopEvent);
    }
    if (stopEvent) {
        const std::uint64_t one = 1;
        [[maybe_unused]] const auto written = write(stopEvent->get(), &one, sizeof(one));
    }
    if (thread.joinable()) {
        if (thread.get_id() == std::this_thread::get_id()) {
            thread.detach();  // stopped from its own observer: it ends once the observer returns
        } else {
            thread.join();
        }
    }
}

void NetlinkPathSource::run(int eventSocket, int stopEvent, const Observer& observer) {
    FileDescriptor events(eventSocket);
    observer(readCurrentPath());
    std::array<char, kBufferSize> buffer;
    for (;;) {
        std::array<pollfd, 2> waits{pollfd{stopEvent, POLLIN, 0}, pollfd{eventSocket, POLLIN, 0}};
        if (poll(waits.data(), waits.size(), -1) < 0) {
            if (errno == EINTR) {
                continue;
            }
            osLog(std::string("Unable to wait for network routes: ") + std::strerror(errno),
                  OSLogType::error);
            return;
        }
        if (waits[0].revents != 0) {
            return;
        }
        // The messages only say that something changed; a burst of them is read away and the
        // tables are read once. An overflow of the socket (ENOBUFS) means the same.
        for (;;) {
            const ssize_t received = recv(eventSocket, buffer.data(), buffer.size(), MSG_DONTWAIT);
            if (received > 0 || (received < 0 && (errno == ENOBUFS || errno == EINTR))) {
                continue;
            }
            break;
        }
        observer(readCurrentPath());
    }
}

}  // namespace tarnwick
