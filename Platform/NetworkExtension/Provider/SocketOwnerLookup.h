#pragma once

#include "Foundation/FileDescriptor.h"

#include <cstdint>
#include <deque>
#include <mutex>
#include <optional>
#include <sys/types.h>
#include <unordered_map>
#include <unordered_set>

namespace tarnwick {

struct IPPacket;

// Finds the process behind a packet: the kernel's socket table (sock_diag, one exact lookup of
// the connection) gives the socket's inode and user, and the open files under /proc give the
// process that holds that socket. What a search reads is kept (socket inode -> process and
// descriptor, and each recent process's descriptors), so the cost of a lookup does not grow with
// the sockets a process holds:
//   1. a socket seen before is checked where it was seen (one readlink);
//   2. a program usually opens its next socket under the descriptor number its last one had, or
//      under the lowest number it has free, so those few descriptors of recent processes are
//      tried next;
//   3. recent processes' descriptors that were not there before are read;
//   4. only then every process, those of the socket's user first.
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
    // A recent process's descriptors as last read, and the lowest number not among them.
    struct ProcessFiles {
        std::unordered_map<int, ino_t> sockets;
        std::unordered_set<int> others;
        int lowestFree = 0;
        int highest = -1;
    };

    pid_t processHolding(ino_t inode, uid_t uid);
    std::optional<int> probeLikelyDescriptors(pid_t pid, ino_t inode);
    // The descriptor under which `pid` holds the socket. Reads the links of the descriptors not
    // known from the last reading only, unless `everything`.
    std::optional<int> findInProcess(pid_t pid, ino_t inode, bool everything);
    std::optional<ino_t> readSocket(pid_t pid, int fd);
    void note(pid_t pid, int fd, ino_t inode);
    void noteRecent(const Holder& holder);
    ProcessFiles& filesOf(pid_t pid);

    std::mutex m_mutex;
    FileDescriptor m_socket;
    std::uint32_t m_sequence = 0;
    std::deque<Holder> m_recent;                // where sockets were found lately, latest first
    std::unordered_map<ino_t, Holder> m_known;  // socket inodes seen while searching
    std::unordered_map<pid_t, ProcessFiles> m_files;  // of recent processes
    std::deque<pid_t> m_fileOrder;                    // which of them was read last, latest first
};

}  // namespace tarnwick
