#pragma once

#include "Foundation/FileDescriptor.h"

#include <chrono>
#include <cstdint>
#include <deque>
#include <functional>
#include <limits>
#include <mutex>
#include <optional>
#include <sys/stat.h>
#include <sys/types.h>
#include <unordered_map>
#include <unordered_set>
#include <vector>

struct inet_diag_msg;

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
//   4. only then every process, those of the socket's user first, the newest first: a new
//      program's first socket is found without reading the descriptors of every older one.
//      The packet thread tries the few newest processes itself (a few dozen reads at most), so
//      the first connection of a program just started is described without a hand-off.
// Any user can hold a socket no process has (in flight in a message) while holding descriptors
// by the hundred thousand, so a search of steps 3 and 4 is bounded in time and in descriptors
// read, the searches for one user's sockets take only so much processor time a second, and a
// socket found in no process is not searched for again for a while. The socket and its user come
// first and cheaply; the process is looked for apart, off the packet thread.
class SocketOwnerLookup {
public:
    using Clock = std::chrono::steady_clock;

    struct Socket {
        ino_t inode = 0;
        uid_t uid = 0;
    };

    struct Budget {
        // Processor time of one search.
        std::chrono::milliseconds time{200};
        // Descriptors (and processes) read by one search; listing those read before costs time
        // only.
        std::size_t descriptors = 65536;
        // How long a socket found in no process is taken to have none.
        std::chrono::seconds unownedMemory{30};
        // Processor time the searches for one user's sockets may take a second, and twice that
        // at once: a user whose searches come too often has their own flows described without a
        // process, and costs the filter a bounded share of one processor.
        std::chrono::milliseconds timePerUserPerSecond{100};
    };

    struct Search {
        pid_t pid = 0;                    // 0 when no process was found to hold the socket
        std::size_t descriptorsRead = 0;  // beyond where sockets were seen lately
        bool exhausted = false;           // the budget ran out before every process was read
        bool remembered = false;          // known to have no holder from an earlier search
    };

    SocketOwnerLookup();
    explicit SocketOwnerLookup(Budget budget);
    // Used for testing only: `threadTime` is the processor time of the searching thread.
    SocketOwnerLookup(Budget budget, std::function<std::chrono::nanoseconds()> threadTime);
    ~SocketOwnerLookup();
    SocketOwnerLookup(const SocketOwnerLookup&) = delete;
    SocketOwnerLookup& operator=(const SocketOwnerLookup&) = delete;

    // The local socket of a packet, from the kernel's socket table. `outbound`: the packet leaves
    // this host, so its source is the local end.
    std::optional<Socket> socketOf(const IPPacket& packet, bool outbound);
    // A UDP socket of `uid` other than `besides` that may have sent the outbound `packet`: on its
    // local port, and connected to its destination or to nothing. The kernel's exact look-up finds
    // one socket on a port; sockets that share the port are found by listing them.
    std::optional<Socket> datagramSocketOf(const IPPacket& packet, uid_t uid, ino_t besides);
    // The process holding the socket when it is where a socket was seen lately (steps 1 and 2):
    // about a hundred reads at most, never waiting for a search; 0 otherwise.
    pid_t recentHolder(ino_t inode);
    // A process found by newestHolder(), with the pidfd that held it while it was read.
    struct NewProcess {
        pid_t pid = 0;  // 0: none was found
        FileDescriptor pidfd;
        uid_t uid = 0;  // its owner, read once the pidfd was open
    };
    // The process holding the socket when it is among the newest few processes of the socket's
    // user (the start of step 4, bounded to a few dozen reads and taken from the user's
    // allowance).
    NewProcess newestHolder(ino_t inode, uid_t uid, Clock::time_point now);
    // The process holding the socket, searched for within the budget. Searches may run on
    // several threads at once; two for the same socket both find it, or both do not.
    // `likelyTried`: recentHolder() has just been asked, so step 2 is not repeated.
    Search holderOf(ino_t inode, uid_t uid, Clock::time_point now, bool likelyTried = false);

    // Orders pids from the newest process to the oldest, `last` being the pid the kernel gave
    // last (nothing: highest first).
    static void newestFirst(std::vector<pid_t>& processes, std::optional<pid_t> last);

private:
    struct Holder {
        pid_t pid;
        int fd;
    };

    std::optional<Socket> diagnose(const IPPacket& packet, bool outbound);
    // Calls `each` for every socket of the family and protocol (a dump); false when the kernel
    // did not answer.
    bool list(int family, int protocol, const std::function<void(const inet_diag_msg&)>& each);
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

    // What one search has spent: its own, so that searches run side by side, each without the
    // lock, which guards only what searches share and is held for a few map operations at a time.
    struct Pass {
        std::chrono::nanoseconds deadline{0};  // in the searching thread's processor time
        std::size_t read = 0;
        std::size_t listed = 0;
        std::size_t limit = std::numeric_limits<std::size_t>::max();  // below the budget's
        bool exhausted = false;
    };

    // The pid the kernel gave last in this pid namespace; nothing when it cannot be read.
    std::optional<pid_t> lastProcessStarted() const;
    std::vector<pid_t> recentProcesses();
    // Steps 1 and 2; step 1 only when `knownOnly`.
    pid_t likelyHolder(ino_t inode, bool knownOnly = false);
    pid_t processHolding(ino_t inode, uid_t uid, Pass& pass);
    // Counts one descriptor or process read; false once the budget is spent.
    bool spend(Pass& pass) const;
    // Counts one descriptor listed that was read before; false once the time is up.
    bool list(Pass& pass) const;
    // The processor time the user's searches may still take now.
    std::chrono::nanoseconds allowanceOf(uid_t uid, Clock::time_point now);
    void rememberUnowned(ino_t inode, Clock::time_point now);
    std::optional<int> probeLikelyDescriptors(pid_t pid, ino_t inode);
    // The descriptor under which `pid` holds the socket. Reads the links of the descriptors not
    // known from the last reading only, unless `everything`.
    std::optional<int> findInProcess(pid_t pid, ino_t inode, bool everything, Pass& pass);
    // The same for a process read for the first time, whose descriptors `directory` lists and
    // `count` counts (0: unknown): all of them are read, or `onPacketThread` only the few
    // highest, by number.
    std::optional<int> findInNewProcess(pid_t pid, int directory, off_t count, ino_t inode,
                                        bool onPacketThread, Pass& pass);
    // Where in the newest `processes` pids a process of `uid` holds the socket (`onPacketThread`:
    // a process of this network namespace, whose few highest descriptors hold it); the processes
    // of `uid` it read go into `read`, and the process found into `found`.
    std::optional<Holder> newestProcessHolding(ino_t inode, uid_t uid, pid_t processes,
                                               bool onPacketThread, Pass& pass,
                                               std::unordered_set<pid_t>* read = nullptr,
                                               NewProcess* found = nullptr);
    static std::optional<ino_t> readSocket(pid_t pid, int fd);
    // These four with the lock held.
    void note(pid_t pid, int fd, ino_t inode);
    // A process that has ended.
    void forget(pid_t pid);
    void noteRecent(const Holder& holder);
    ProcessFiles& filesOf(pid_t pid);

    const Budget m_budget;
    const std::function<std::chrono::nanoseconds()> m_threadTime;
    std::mutex m_diagnosisMutex;
    FileDescriptor m_socket;
    std::uint32_t m_sequence = 0;
    const FileDescriptor m_lastPid;                 // /proc/sys/kernel/ns_last_pid
    std::optional<struct stat> m_networkNamespace;  // this process's

    // Guards everything below; never held while /proc is read.
    std::mutex m_mutex;
    std::unordered_map<ino_t, Clock::time_point> m_unowned;  // until when
    struct Allowance {
        std::chrono::nanoseconds time;
        Clock::time_point updated;
    };
    std::unordered_map<uid_t, Allowance> m_allowances;
    std::deque<Holder> m_recent;                // where sockets were found lately, latest first
    std::unordered_map<ino_t, Holder> m_known;  // socket inodes seen while searching
    std::unordered_map<pid_t, ProcessFiles> m_files;  // of recent processes
    std::deque<pid_t> m_fileOrder;                    // which of them was read last, latest first
};

}  // namespace tarnwick
