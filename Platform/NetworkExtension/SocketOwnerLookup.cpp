#include "SocketOwnerLookup.h"

#include "IPPacket.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <linux/inet_diag.h>
#include <linux/netlink.h>
#include <linux/sock_diag.h>
#include <netinet/in.h>
#include <string>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/time.h>
#include <unistd.h>
#include <vector>

namespace tarnwick {

namespace {

constexpr std::size_t kRecentHolders = 16;
constexpr std::size_t kKnownSockets = 16384;

std::optional<ino_t> socketInode(const char* link, ssize_t length) {
    // "socket:[12345]"
    constexpr std::string_view prefix = "socket:[";
    if (length <= static_cast<ssize_t>(prefix.size()) + 1 ||
        std::string_view(link, prefix.size()) != prefix || link[length - 1] != ']') {
        return std::nullopt;
    }
    char* end = nullptr;
    const unsigned long long inode = std::strtoull(link + prefix.size(), &end, 10);
    if (end != link + length - 1) {
        return std::nullopt;
    }
    return static_cast<ino_t>(inode);
}

}  // namespace

SocketOwnerLookup::SocketOwnerLookup() {
    m_socket = ::socket(AF_NETLINK, SOCK_DGRAM | SOCK_CLOEXEC, NETLINK_SOCK_DIAG);
    if (m_socket >= 0) {
        // A kernel that does not answer must not stall the packet thread.
        timeval timeout{0, 200000};
        ::setsockopt(m_socket, SOL_SOCKET, SO_RCVTIMEO, &timeout, sizeof(timeout));
    }
}

SocketOwnerLookup::~SocketOwnerLookup() {
    if (m_socket >= 0) {
        ::close(m_socket);
    }
}

std::optional<SocketOwnerLookup::Owner> SocketOwnerLookup::find(const IPPacket& packet,
                                                                bool outbound) {
    std::lock_guard lock(m_mutex);
    const auto socket = diagnose(packet, outbound);
    if (!socket) {
        return std::nullopt;
    }
    return Owner{socket->inode, socket->uid, processHolding(socket->inode, socket->uid)};
}

std::optional<SocketOwnerLookup::Socket> SocketOwnerLookup::diagnose(const IPPacket& packet,
                                                                     bool outbound) {
    const std::uint8_t* local = outbound ? packet.source.data() : packet.destination.data();
    const std::uint8_t* remote = outbound ? packet.destination.data() : packet.source.data();
    const std::uint16_t localPort = outbound ? packet.sourcePort : packet.destinationPort;
    const std::uint16_t remotePort = outbound ? packet.destinationPort : packet.sourcePort;
    // TCP looks the socket up as (local, remote); UDP takes the two ends the other way round.
    // Both orders are tried, the likely one first.
    if (packet.protocol == IPPROTO_UDP) {
        if (auto found =
                query(packet.family, packet.protocol, remote, remotePort, local, localPort)) {
            return found;
        }
        return query(packet.family, packet.protocol, local, localPort, remote, remotePort);
    }
    if (auto found = query(packet.family, packet.protocol, local, localPort, remote, remotePort)) {
        return found;
    }
    return query(packet.family, packet.protocol, remote, remotePort, local, localPort);
}

std::optional<SocketOwnerLookup::Socket> SocketOwnerLookup::query(int family, int protocol,
                                                                  const std::uint8_t* source,
                                                                  std::uint16_t sourcePort,
                                                                  const std::uint8_t* destination,
                                                                  std::uint16_t destinationPort) {
    if (m_socket < 0) {
        return std::nullopt;
    }
    struct {
        nlmsghdr header;
        inet_diag_req_v2 request;
    } message{};
    message.header.nlmsg_len = sizeof(message);
    message.header.nlmsg_type = SOCK_DIAG_BY_FAMILY;
    message.header.nlmsg_flags = NLM_F_REQUEST;
    message.header.nlmsg_seq = ++m_sequence;
    message.request.sdiag_family = static_cast<std::uint8_t>(family);
    message.request.sdiag_protocol = static_cast<std::uint8_t>(protocol);
    message.request.idiag_states = ~0u;
    message.request.id.idiag_sport = htons(sourcePort);
    message.request.id.idiag_dport = htons(destinationPort);
    const std::size_t length = family == AF_INET ? 4 : 16;
    std::memcpy(message.request.id.idiag_src, source, length);
    std::memcpy(message.request.id.idiag_dst, destination, length);
    message.request.id.idiag_cookie[0] = INET_DIAG_NOCOOKIE;
    message.request.id.idiag_cookie[1] = INET_DIAG_NOCOOKIE;

    sockaddr_nl kernel{};
    kernel.nl_family = AF_NETLINK;
    if (::sendto(m_socket, &message, sizeof(message), 0, reinterpret_cast<sockaddr*>(&kernel),
                 sizeof(kernel)) < 0) {
        return std::nullopt;
    }
    alignas(nlmsghdr) char buffer[8192];
    for (;;) {
        const ssize_t received = ::recv(m_socket, buffer, sizeof(buffer), 0);
        if (received < 0) {
            if (errno == EINTR) {
                continue;
            }
            return std::nullopt;
        }
        int remaining = static_cast<int>(received);
        for (auto* header = reinterpret_cast<nlmsghdr*>(buffer); NLMSG_OK(header, remaining);
             header = NLMSG_NEXT(header, remaining)) {
            // Answers to earlier questions that timed out are skipped.
            if (header->nlmsg_seq != m_sequence) {
                continue;
            }
            if (header->nlmsg_type == NLMSG_ERROR || header->nlmsg_type == NLMSG_DONE) {
                return std::nullopt;
            }
            if (header->nlmsg_type == SOCK_DIAG_BY_FAMILY &&
                header->nlmsg_len >= NLMSG_LENGTH(sizeof(inet_diag_msg))) {
                const auto* answer = static_cast<const inet_diag_msg*>(NLMSG_DATA(header));
                if (answer->idiag_inode == 0) {
                    return std::nullopt;  // a connection in TIME_WAIT: no socket behind it
                }
                return Socket{static_cast<ino_t>(answer->idiag_inode), answer->idiag_uid};
            }
        }
    }
}

pid_t SocketOwnerLookup::processHolding(ino_t inode, uid_t uid) {
    if (auto known = m_known.find(inode); known != m_known.end()) {
        const Holder holder = known->second;
        m_known.erase(known);
        if (holds(holder, inode)) {
            noteRecent(holder);
            return holder.pid;
        }
    }
    for (const Holder& holder : std::deque<Holder>(m_recent)) {
        if (holds(holder, inode)) {
            noteRecent(holder);
            return holder.pid;
        }
    }
    std::vector<pid_t> recentProcesses;
    for (const Holder& holder : m_recent) {
        if (std::find(recentProcesses.begin(), recentProcesses.end(), holder.pid) ==
            recentProcesses.end()) {
            recentProcesses.push_back(holder.pid);
        }
    }
    for (const pid_t pid : recentProcesses) {
        if (auto fd = findInProcess(pid, inode, false)) {
            noteRecent({pid, *fd});
            return pid;
        }
    }
    // Every process: those of the socket's user first, as they almost always hold it.
    DIR* proc = ::opendir("/proc");
    if (proc == nullptr) {
        return 0;
    }
    std::vector<pid_t> others;
    std::optional<Holder> found;
    while (dirent* entry = ::readdir(proc)) {
        char* end = nullptr;
        const long pid = std::strtol(entry->d_name, &end, 10);
        if (pid <= 0 || *end != '\0') {
            continue;
        }
        struct stat status {};
        char path[64];
        std::snprintf(path, sizeof(path), "/proc/%ld", pid);
        if (::stat(path, &status) != 0) {
            continue;
        }
        if (status.st_uid != uid) {
            others.push_back(static_cast<pid_t>(pid));
            continue;
        }
        if (auto fd = findInProcess(static_cast<pid_t>(pid), inode, true)) {
            found = Holder{static_cast<pid_t>(pid), *fd};
            break;
        }
    }
    ::closedir(proc);
    for (std::size_t i = 0; !found && i < others.size(); ++i) {
        if (auto fd = findInProcess(others[i], inode, true)) {
            found = Holder{others[i], *fd};
        }
    }
    if (!found) {
        return 0;
    }
    noteRecent(*found);
    return found->pid;
}

bool SocketOwnerLookup::holds(const Holder& holder, ino_t inode) {
    char path[64];
    std::snprintf(path, sizeof(path), "/proc/%d/fd/%d", holder.pid, holder.fd);
    char link[64];
    const ssize_t length = ::readlink(path, link, sizeof(link));
    const auto socket = length > 0 ? socketInode(link, length) : std::nullopt;
    return socket && *socket == inode;
}

std::optional<int> SocketOwnerLookup::findInProcess(pid_t pid, ino_t inode, bool remember) {
    char path[64];
    std::snprintf(path, sizeof(path), "/proc/%d/fd", pid);
    const int directory = ::open(path, O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (directory < 0) {
        return std::nullopt;
    }
    DIR* files = ::fdopendir(directory);
    if (files == nullptr) {
        ::close(directory);
        return std::nullopt;
    }
    std::optional<int> found;
    char link[64];
    while (dirent* entry = ::readdir(files)) {
        if (entry->d_name[0] == '.') {
            continue;
        }
        const ssize_t length = ::readlinkat(directory, entry->d_name, link, sizeof(link));
        const auto socket = length > 0 ? socketInode(link, length) : std::nullopt;
        if (!socket) {
            continue;
        }
        const int fd = std::atoi(entry->d_name);
        if (remember) {
            if (m_known.size() >= kKnownSockets) {
                m_known.clear();
            }
            m_known[*socket] = Holder{pid, fd};
        }
        if (*socket == inode) {
            found = fd;
            if (!remember) {
                break;
            }
        }
    }
    ::closedir(files);
    return found;
}

void SocketOwnerLookup::noteRecent(const Holder& holder) {
    auto found = std::find_if(m_recent.begin(), m_recent.end(), [&holder](const Holder& entry) {
        return entry.pid == holder.pid && entry.fd == holder.fd;
    });
    if (found != m_recent.end()) {
        m_recent.erase(found);
    }
    m_recent.push_front(holder);
    if (m_recent.size() > kRecentHolders) {
        m_recent.pop_back();
    }
}

}  // namespace tarnwick
