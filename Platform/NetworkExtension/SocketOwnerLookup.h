#pragma once

#include <cstdint>
#include <deque>
#include <mutex>
#include <optional>
#include <sys/types.h>
#include <unordered_map>

namespace tarnwick {

struct IPPacket;

// Finds the process behind a packet: the kernel's socket table (sock_diag, one exact lookup of
// the connection) gives the socket's inode and user, and the open files under /proc give the
// process that holds that socket. Where sockets were found lately is tried first: a program
// usually opens its next socket under the descriptor number its last one had, so one readlink
// mostly finds it; then the processes that made connections lately; then every process.
class SocketOwnerLookup {
public:
    struct Owner {
        ino_t inode = 0;
        uid_t uid = 0;
        pid_t pid = 0;  // 0 when no process holds the socket any more
    };

    SocketOwnerLookup();
    ~SocketOwnerLookup();
    SocketOwnerLookup(const SocketOwnerLookup&) = delete;
    SocketOwnerLookup& operator=(const SocketOwnerLookup&) = delete;

    // `outbound`: the packet leaves this host, so its source is the local end.
    std::optional<Owner> find(const IPPacket& packet, bool outbound);

private:
    struct Socket {
        ino_t inode;
        uid_t uid;
    };
    struct Holder {
        pid_t pid;
        int fd;
    };

    std::optional<Socket> diagnose(const IPPacket& packet, bool outbound);
    std::optional<Socket> query(int family, int protocol, const std::uint8_t* source,
                                std::uint16_t sourcePort, const std::uint8_t* destination,
                                std::uint16_t destinationPort);
    pid_t processHolding(ino_t inode, uid_t uid);
    // The descriptor under which `pid` holds the socket; with `remember`, every socket the
    // process holds is noted for later.
    std::optional<int> findInProcess(pid_t pid, ino_t inode, bool remember);
    static bool holds(const Holder& holder, ino_t inode);
    void noteRecent(const Holder& holder);

    std::mutex m_mutex;
    int m_socket = -1;
    std::uint32_t m_sequence = 0;
    std::deque<Holder> m_recent;                // where sockets were found lately, latest first
    std::unordered_map<ino_t, Holder> m_known;  // socket inodes seen while searching
};

}  // namespace tarnwick
