#include "SocketOwnerLookup.h"

#include "Foundation/NetlinkPayload.h"
#include "NetworkExtension/Flows/IPPacket.h"

#include <algorithm>
#include <array>
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <dirent.h>
#include <fcntl.h>
#include <limits>
#include <netinet/in.h>
#include <string>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <sys/time.h>
#include <unistd.h>
#include <unordered_set>
#include <vector>

#include <linux/inet_diag.h>
#include <linux/netlink.h>
#include <linux/sock_diag.h>

namespace tarnwick {

namespace {

constexpr std::size_t kRecentHolders = 16;
constexpr std::size_t kKnownSockets = 65536;
constexpr std::size_t kProcessesKept = 16;
constexpr std::size_t kUnownedSockets = 4096;
constexpr std::size_t kUsersKept = 4096;
// Pids below the last one given that are tried before every process is listed.
constexpr pid_t kNewestProcesses = 64;
// The packet thread's share of that: the pids it tries; the pids and descriptors it reads in
// all; and the descriptors it reads of each process, from the highest number down, where a
// program's newest socket most often is. A busy machine starts other processes of the user
// between a program's start and its first connection, and those are passed over at this cost.
constexpr pid_t kNewestOnPacketThread = 24;
constexpr std::size_t kNewestReadsOnPacketThread = 64;
constexpr std::size_t kReadsPerNewProcessOnPacketThread = 8;

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

// The processor time the calling thread has used: what a search costs, however long a busy
// machine keeps the thread waiting meanwhile.
std::chrono::nanoseconds threadTime() {
    timespec now{};
    ::clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now);
    return std::chrono::seconds(now.tv_sec) + std::chrono::nanoseconds(now.tv_nsec);
}

}  // namespace

std::optional<pid_t> SocketOwnerLookup::lastProcessStarted() const {
    // Kept open: reading it again from the start costs one call where opening it cost three.
    char text[32] = {};
    if (!m_lastPid || ::pread(m_lastPid.get(), text, sizeof(text) - 1, 0) <= 0) {
        return std::nullopt;
    }
    const long pid = std::strtol(text, nullptr, 10);
    return pid > 0 ? std::optional<pid_t>(static_cast<pid_t>(pid)) : std::nullopt;
}

void SocketOwnerLookup::newestFirst(std::vector<pid_t>& processes, std::optional<pid_t> last) {
    // Pids are given in rising order until they wrap around: those up to the last one given are
    // the newest, highest first, and those above it are older than all of them.
    const pid_t newest = last.value_or(std::numeric_limits<pid_t>::max());
    std::sort(processes.begin(), processes.end(), [newest](pid_t left, pid_t right) {
        const bool leftWrapped = left > newest;
        const bool rightWrapped = right > newest;
        if (leftWrapped != rightWrapped) {
            return rightWrapped;
        }
        return left > right;
    });
}

SocketOwnerLookup::SocketOwnerLookup() : SocketOwnerLookup(Budget{}) {}

SocketOwnerLookup::SocketOwnerLookup(Budget budget) : SocketOwnerLookup(budget, threadTime) {}

SocketOwnerLookup::SocketOwnerLookup(Budget budget,
                                     std::function<std::chrono::nanoseconds()> threadTime)
    : m_budget(budget)
    , m_threadTime(std::move(threadTime))
    , m_socket(::socket(AF_NETLINK, SOCK_DGRAM | SOCK_CLOEXEC, NETLINK_SOCK_DIAG))
    , m_lastPid(::open("/proc/sys/kernel/ns_last_pid", O_RDONLY | O_CLOEXEC)) {
    if (struct stat space{}; ::stat("/proc/self/ns/net", &space) == 0) {
        m_networkNamespace = space;
    }
    if (m_socket) {
        // A kernel that does not answer must not stall the packet thread.
        timeval timeout{0, 200000};
        (void)::setsockopt(m_socket.get(), SOL_SOCKET, SO_RCVTIMEO, &timeout, sizeof(timeout));
    }
}

SocketOwnerLookup::~SocketOwnerLookup() = default;

std::optional<SocketOwnerLookup::Socket> SocketOwnerLookup::socketOf(const IPPacket& packet,
                                                                     bool outbound) {
    std::lock_guard lock(m_diagnosisMutex);
    return diagnose(packet, outbound);
}

pid_t SocketOwnerLookup::recentHolder(ino_t inode) {
    {
        std::lock_guard lock(m_mutex);
        if (m_unowned.count(inode) != 0) {
            return 0;
        }
    }
    return likelyHolder(inode);
}

SocketOwnerLookup::NewProcess SocketOwnerLookup::newestHolder(ino_t inode, uid_t uid,
                                                              Clock::time_point now) {
    const std::chrono::nanoseconds started = m_threadTime();
    {
        std::lock_guard lock(m_mutex);
        // Taken from the user's allowance like any search, so a user whose sockets are found in
        // no process soon costs the packet thread nothing more.
        if (m_unowned.count(inode) != 0 || allowanceOf(uid, now) <= std::chrono::nanoseconds{0}) {
            return {};
        }
    }
    Pass pass;
    pass.deadline = std::chrono::nanoseconds::max();
    pass.limit = kNewestReadsOnPacketThread;
    NewProcess process;
    const auto found =
        newestProcessHolding(inode, uid, kNewestOnPacketThread, true, pass, nullptr, &process);
    const std::chrono::nanoseconds spent = m_threadTime() - started;
    std::lock_guard lock(m_mutex);
    if (auto entry = m_allowances.find(uid); entry != m_allowances.end()) {
        entry->second.time -= spent;
    }
    if (!found) {
        return {};
    }
    noteRecent(*found);
    return process;
}

SocketOwnerLookup::Search SocketOwnerLookup::holderOf(ino_t inode, uid_t uid, Clock::time_point now,
                                                      bool likelyTried) {
    const std::chrono::nanoseconds started = m_threadTime();
    std::chrono::nanoseconds allowance{0};
    {
        std::lock_guard lock(m_mutex);
        if (auto unowned = m_unowned.find(inode); unowned != m_unowned.end()) {
            if (unowned->second > now) {
                return Search{0, 0, false, true};
            }
            m_unowned.erase(unowned);
        }
        allowance = allowanceOf(uid, now);
    }
    Pass pass;
    pass.deadline = started + std::min<std::chrono::nanoseconds>(m_budget.time, allowance);
    // Where sockets were seen lately was tried on the packet thread a moment ago, unless this
    // is a search of its own; what other searches read since is looked at all the same (a
    // program that opens many sockets at once has the later ones read by the earlier searches).
    pid_t pid = likelyHolder(inode, likelyTried);
    if (pid == 0) {
        if (allowance <= std::chrono::nanoseconds::zero()) {
            // Nothing was searched, so nothing is learnt about the socket.
            return Search{0, 0, true, false};
        }
        pid = processHolding(inode, uid, pass);
    }
    const std::chrono::nanoseconds spent = m_threadTime() - started;
    std::lock_guard lock(m_mutex);
    if (auto entry = m_allowances.find(uid); entry != m_allowances.end()) {
        entry->second.time -= spent;
    }
    if (pid != 0) {
        return Search{pid, pass.read, false, false};
    }
    // A search cut short is remembered too: trying the same socket again would cost as much and
    // end the same way.
    rememberUnowned(inode, now);
    return Search{0, pass.read, pass.exhausted, false};
}

std::chrono::nanoseconds SocketOwnerLookup::allowanceOf(uid_t uid, Clock::time_point now) {
    const std::chrono::nanoseconds perSecond = m_budget.timePerUserPerSecond;
    if (m_allowances.size() >= kUsersKept && m_allowances.count(uid) == 0) {
        // Forgetting only gives users their whole allowance again.
        m_allowances.clear();
    }
    const auto [entry, added] = m_allowances.try_emplace(uid, Allowance{2 * perSecond, now});
    Allowance& allowance = entry->second;
    if (now > allowance.updated) {
        const double seconds = std::chrono::duration<double>(now - allowance.updated).count();
        allowance.time = std::min<std::chrono::nanoseconds>(
            2 * perSecond, allowance.time + std::chrono::duration_cast<std::chrono::nanoseconds>(
                                                perSecond * seconds));
        allowance.updated = now;
    }
    return allowance.time;
}

bool SocketOwnerLookup::spend(Pass& pass) const {
    if (pass.exhausted) {
        return false;
    }
    if (pass.read >= std::min(m_budget.descriptors, pass.limit) ||
        (pass.read % 32 == 0 && m_threadTime() >= pass.deadline)) {
        pass.exhausted = true;
        return false;
    }
    ++pass.read;
    return true;
}

bool SocketOwnerLookup::list(Pass& pass) const {
    if (!pass.exhausted && ++pass.listed % 256 == 0 && m_threadTime() >= pass.deadline) {
        pass.exhausted = true;
    }
    return !pass.exhausted;
}

void SocketOwnerLookup::rememberUnowned(ino_t inode, Clock::time_point now) {
    if (m_unowned.size() >= kUnownedSockets) {
        std::erase_if(m_unowned, [now](const auto& entry) { return entry.second <= now; });
        if (m_unowned.size() >= kUnownedSockets) {
            // Forgetting only means searching again.
            m_unowned.clear();
        }
    }
    m_unowned.insert_or_assign(inode, now + m_budget.unownedMemory);
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
    if (!m_socket) {
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
    if (::sendto(m_socket.get(), &message, sizeof(message), 0, reinterpret_cast<sockaddr*>(&kernel),
                 sizeof(kernel)) < 0) {
        return std::nullopt;
    }
    alignas(nlmsghdr) char buffer[8192];
    for (;;) {
        const ssize_t received = ::recv(m_socket.get(), buffer, sizeof(buffer), 0);
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
                const auto* answer = netlinkPayload<inet_diag_msg>(*header);
                if (answer->idiag_inode == 0) {
                    return std::nullopt;  // a connection in TIME_WAIT: no socket behind it
                }
                return Socket{static_cast<ino_t>(answer->idiag_inode), answer->idiag_uid};
            }
        }
    }
}

std::optional<SocketOwnerLookup::Socket> SocketOwnerLookup::datagramSocketOf(const IPPacket& packet,
                                                                             uid_t uid,
                                                                             ino_t besides) {
    if (packet.protocol != IPPROTO_UDP) {
        return std::nullopt;
    }
    static constexpr std::uint8_t kMapped[12] = {0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0xff, 0xff};
    // An address of the socket's family matches the packet's, or is unspecified; an IPv6 socket
    // sends IPv4 datagrams from IPv4-mapped addresses.
    const auto matches = [&packet](int family, const std::uint32_t* socketAddress,
                                   const std::array<std::uint8_t, 16>& address) {
        const auto* bytes = reinterpret_cast<const std::uint8_t*>(socketAddress);
        const std::size_t length = family == AF_INET ? 4 : 16;
        if (std::all_of(bytes, bytes + length, [](std::uint8_t byte) { return byte == 0; })) {
            return true;
        }
        if (family == packet.family) {
            return std::memcmp(bytes, address.data(), length) == 0;
        }
        return std::memcmp(bytes, kMapped, sizeof(kMapped)) == 0 &&
               std::memcmp(bytes + 12, address.data(), 4) == 0;
    };
    std::lock_guard lock(m_diagnosisMutex);
    std::optional<Socket> found;
    for (const int family : {packet.family, AF_INET6}) {
        (void)list(family, IPPROTO_UDP, [&](const inet_diag_msg& socket) {
            if (found || socket.idiag_inode == 0 || socket.idiag_inode == besides ||
                socket.idiag_uid != uid || ntohs(socket.id.idiag_sport) != packet.sourcePort ||
                !matches(family, socket.id.idiag_src, packet.source)) {
                return;
            }
            const std::uint16_t remotePort = ntohs(socket.id.idiag_dport);
            if (remotePort != 0 && (remotePort != packet.destinationPort ||
                                    !matches(family, socket.id.idiag_dst, packet.destination))) {
                return;
            }
            found = Socket{static_cast<ino_t>(socket.idiag_inode), socket.idiag_uid};
        });
        if (found || packet.family == AF_INET6) {
            break;
        }
    }
    return found;
}

bool SocketOwnerLookup::list(int family, int protocol,
                             const std::function<void(const inet_diag_msg&)>& each) {
    if (!m_socket) {
        return false;
    }
    struct {
        nlmsghdr header;
        inet_diag_req_v2 request;
    } message{};
    message.header.nlmsg_len = sizeof(message);
    message.header.nlmsg_type = SOCK_DIAG_BY_FAMILY;
    message.header.nlmsg_flags = NLM_F_REQUEST | NLM_F_DUMP;
    message.header.nlmsg_seq = ++m_sequence;
    message.request.sdiag_family = static_cast<std::uint8_t>(family);
    message.request.sdiag_protocol = static_cast<std::uint8_t>(protocol);
    message.request.idiag_states = ~0u;
    sockaddr_nl kernel{};
    kernel.nl_family = AF_NETLINK;
    if (::sendto(m_socket.get(), &message, sizeof(message), 0, reinterpret_cast<sockaddr*>(&kernel),
                 sizeof(kernel)) < 0) {
        return false;
    }
    alignas(nlmsghdr) char buffer[16384];
    for (;;) {
        const ssize_t received = ::recv(m_socket.get(), buffer, sizeof(buffer), 0);
        if (received < 0) {
            if (errno == EINTR) {
                continue;
            }
            return false;
        }
        int remaining = static_cast<int>(received);
        for (auto* header = reinterpret_cast<nlmsghdr*>(buffer); NLMSG_OK(header, remaining);
             header = NLMSG_NEXT(header, remaining)) {
            if (header->nlmsg_seq != m_sequence) {
                continue;
            }
            if (header->nlmsg_type == NLMSG_DONE) {
                return true;
            }
            if (header->nlmsg_type == NLMSG_ERROR) {
                return false;
            }
            if (header->nlmsg_type == SOCK_DIAG_BY_FAMILY &&
                header->nlmsg_len >= NLMSG_LENGTH(sizeof(inet_diag_msg))) {
                each(*netlinkPayload<inet_diag_msg>(*header));
            }
        }
    }
}

std::vector<pid_t> SocketOwnerLookup::recentProcesses() {
    std::lock_guard lock(m_mutex);
    std::vector<pid_t> processes;
    for (const Holder& holder : m_recent) {
        if (std::find(processes.begin(), processes.end(), holder.pid) == processes.end()) {
            processes.push_back(holder.pid);
        }
    }
    return processes;
}

pid_t SocketOwnerLookup::likelyHolder(ino_t inode, bool knownOnly) {
    std::optional<Holder> known;
    std::deque<Holder> recent;
    {
        std::lock_guard lock(m_mutex);
        if (auto found = m_known.find(inode); found != m_known.end()) {
            known = found->second;
        }
        recent = m_recent;
    }
    std::vector<pid_t> ended;
    const auto holds = [this, inode, &ended](const Holder& holder) {
        if (std::find(ended.begin(), ended.end(), holder.pid) != ended.end()) {
            return false;
        }
        errno = 0;
        const auto socket = readSocket(holder.pid, holder.fd);
        if (socket == inode) {
            std::lock_guard lock(m_mutex);
            noteRecent(holder);
            return true;
        }
        // Short-lived programs come and go: one that has ended is no longer tried, here or by
        // the next packet (which would read every descriptor it was seen under, for nothing).
        if (!socket && errno == ENOENT && ::kill(holder.pid, 0) != 0 && errno == ESRCH) {
            ended.push_back(holder.pid);
            std::lock_guard lock(m_mutex);
            forget(holder.pid);
        }
        return false;
    };
    if (known) {
        if (holds(*known)) {
            return known->pid;
        }
        std::lock_guard lock(m_mutex);
        // Unless another search has found it elsewhere meanwhile.
        if (auto found = m_known.find(inode); found != m_known.end() &&
                                              found->second.pid == known->pid &&
                                              found->second.fd == known->fd) {
            m_known.erase(found);
        }
    }
    if (knownOnly) {
        return 0;
    }
    for (const Holder& holder : recent) {
        if (holds(holder)) {
            return holder.pid;
        }
    }
    for (const pid_t pid : recentProcesses()) {
        if (auto fd = probeLikelyDescriptors(pid, inode)) {
            std::lock_guard lock(m_mutex);
            noteRecent({pid, *fd});
            return pid;
        }
    }
    return 0;
}

pid_t SocketOwnerLookup::processHolding(ino_t inode, uid_t uid, Pass& pass) {
    std::optional<Holder> found;
    for (const pid_t pid : recentProcesses()) {
        if (auto fd = findInProcess(pid, inode, false, pass)) {
            found = Holder{pid, *fd};
            break;
        }
    }
    const auto last = lastProcessStarted();
    std::unordered_set<pid_t> readFirst;
    if (!found) {
        found = newestProcessHolding(inode, uid, kNewestProcesses, false, pass, &readFirst);
    }
    if (!found) {
        // Every process: those of the socket's user first, as they almost always hold it, and
        // the newest first.
        std::vector<pid_t> processes;
        if (DIR* proc = ::opendir("/proc")) {
            while (dirent* entry = ::readdir(proc)) {
                if (!spend(pass)) {
                    break;
                }
                char* end = nullptr;
                const long pid = std::strtol(entry->d_name, &end, 10);
                if (pid > 0 && *end == '\0') {
                    processes.push_back(static_cast<pid_t>(pid));
                }
            }
            ::closedir(proc);
        }
        newestFirst(processes, last);
        std::vector<pid_t> others;
        for (const pid_t pid : processes) {
            if (pass.exhausted) {
                break;
            }
            if (readFirst.count(pid) != 0) {
                continue;
            }
            struct stat status {};
            char path[64];
            std::snprintf(path, sizeof(path), "/proc/%d", pid);
            if (::stat(path, &status) != 0) {
                continue;
            }
            if (status.st_uid != uid) {
                others.push_back(pid);
                continue;
            }
            if (auto fd = findInProcess(pid, inode, true, pass)) {
                found = Holder{pid, *fd};
                break;
            }
        }
        for (std::size_t i = 0; !found && !pass.exhausted && i < others.size(); ++i) {
            if (auto fd = findInProcess(others[i], inode, true, pass)) {
                found = Holder{others[i], *fd};
            }
        }
    }
    if (!found) {
        return 0;
    }
    std::lock_guard lock(m_mutex);
    noteRecent(*found);
    return found->pid;
}

std::optional<SocketOwnerLookup::Holder> SocketOwnerLookup::newestProcessHolding(
    ino_t inode, uid_t uid, pid_t processes, bool onPacketThread, Pass& pass,
    std::unordered_set<pid_t>* read, NewProcess* found) {
    // The newest processes are reached by their pids, as a socket is usually new because its
    // process is: listing every process costs more than reading a new process's few
    // descriptors.
    const pid_t last = lastProcessStarted().value_or(0);
    char path[64];
    for (pid_t pid = last; pid > 0 && pid + processes > last; --pid) {
        if (!spend(pass)) {
            break;
        }
        // A program opens its sockets in the network namespace it runs in, which is the one
        // whose packets come here: on the packet thread, the processes of other namespaces (a
        // build or a container starting processes meanwhile) are passed over at the cost of one
        // call each. The search off the packet thread reads them too.
        if (onPacketThread && m_networkNamespace) {
            std::snprintf(path, sizeof(path), "/proc/%d/ns/net", pid);
            struct stat space {};
            if (::stat(path, &space) != 0 || space.st_dev != m_networkNamespace->st_dev ||
                space.st_ino != m_networkNamespace->st_ino) {
                continue;
            }
        }
        // Only a process has a pidfd, not its other threads: a thread's pid is passed over before
        // /proc is touched, and its process, older, is read in its turn.
        FileDescriptor process(static_cast<int>(::syscall(SYS_pidfd_open, pid, 0)));
        if (!process) {
            continue;
        }
        std::snprintf(path, sizeof(path), "/proc/%d/fd", pid);
        const FileDescriptor directory(::open(path, O_RDONLY | O_DIRECTORY | O_CLOEXEC));
        struct stat status {};
        if (!directory || ::fstat(directory.get(), &status) != 0 || status.st_uid != uid) {
            continue;
        }
        if (read != nullptr) {
            read->insert(pid);
        }
        if (auto fd = findInNewProcess(pid, directory.get(), status.st_size, inode, onPacketThread,
                                       pass)) {
            if (found != nullptr) {
                *found = NewProcess{pid, std::move(process), status.st_uid};
            }
            return Holder{pid, *fd};
        }
    }
    return std::nullopt;
}

std::optional<int> SocketOwnerLookup::findInNewProcess(pid_t pid, int directory, off_t count,
                                                       ino_t inode, bool onPacketThread,
                                                       Pass& pass) {
    // Listing a process's descriptors makes the kernel build an entry for each, which costs far
    // more than reading a few by number, and a process not read before has none built yet. Its
    // descriptors are numbered from 0 with few gaps (the kernel gives the lowest free number),
    // and its newest socket most often has the highest: read by number from the highest its
    // count suggests, down, then a few above for gaps. The count is the directory's size; a
    // kernel that gives none, a process with many descriptors or one whose numbers are not
    // accounted for this way is listed.
    constexpr off_t kReadByNumber = 64;
    constexpr int kAboveCount = 8;
    if (count <= 0 || count > kReadByNumber) {
        return onPacketThread ? std::nullopt : findInProcess(pid, inode, true, pass);
    }
    const int highest = static_cast<int>(count) - 1;
    std::vector<std::pair<ino_t, int>> read;
    std::optional<int> found;
    off_t seen = 0;
    std::size_t tried = 0;
    char name[16];
    char link[64];
    const auto readOne = [&](int fd) {
        if ((onPacketThread && tried++ >= kReadsPerNewProcessOnPacketThread) || !spend(pass)) {
            return false;
        }
        std::snprintf(name, sizeof(name), "%d", fd);
        const ssize_t length = ::readlinkat(directory, name, link, sizeof(link));
        if (length <= 0) {
            return true;
        }
        ++seen;
        if (const auto socket = socketInode(link, length)) {
            read.emplace_back(*socket, fd);
            if (*socket == inode) {
                found = fd;
            }
        }
        return !found;
    };
    bool going = true;
    for (int fd = highest; going && fd >= 0; --fd) {
        going = readOne(fd);
    }
    for (int fd = highest + 1; going && seen < count && fd <= highest + kAboveCount; ++fd) {
        going = readOne(fd);
    }
    {
        std::lock_guard lock(m_mutex);
        for (const auto& [socket, fd] : read) {
            if (m_known.size() >= kKnownSockets) {
                m_known.clear();
            }
            m_known[socket] = Holder{pid, fd};
        }
    }
    if (found || pass.exhausted || seen >= count || onPacketThread) {
        return found;
    }
    return findInProcess(pid, inode, true, pass);
}

std::optional<ino_t> SocketOwnerLookup::readSocket(pid_t pid, int fd) {
    char path[64];
    std::snprintf(path, sizeof(path), "/proc/%d/fd/%d", pid, fd);
    char link[64];
    const ssize_t length = ::readlink(path, link, sizeof(link));
    return length > 0 ? socketInode(link, length) : std::nullopt;
}

std::optional<int> SocketOwnerLookup::probeLikelyDescriptors(pid_t pid, ino_t inode) {
    std::vector<int> candidates;
    {
        std::lock_guard lock(m_mutex);
        auto known = m_files.find(pid);
        if (known == m_files.end()) {
            return std::nullopt;
        }
        // The kernel gives a new socket the lowest free number, so the first numbers not known
        // to be taken are tried, and the ones just above the highest known, for programs that
        // keep their sockets while opening more.
        const ProcessFiles& files = known->second;
        const auto taken = [&files](int fd) {
            return files.sockets.count(fd) != 0 || files.others.count(fd) != 0;
        };
        for (int fd = files.lowestFree, looked = 0; candidates.size() < 4 && looked < 64;
             ++fd, ++looked) {
            if (!taken(fd)) {
                candidates.push_back(fd);
            }
        }
        for (int fd = files.highest + 1; fd <= files.highest + 2; ++fd) {
            if (std::find(candidates.begin(), candidates.end(), fd) == candidates.end()) {
                candidates.push_back(fd);
            }
        }
    }
    for (const int fd : candidates) {
        if (auto socket = readSocket(pid, fd)) {
            std::lock_guard lock(m_mutex);
            note(pid, fd, *socket);
            if (*socket == inode) {
                return fd;
            }
        }
    }
    return std::nullopt;
}

SocketOwnerLookup::ProcessFiles& SocketOwnerLookup::filesOf(pid_t pid) {
    std::erase(m_fileOrder, pid);
    m_fileOrder.push_front(pid);
    while (m_fileOrder.size() > kProcessesKept) {
        m_files.erase(m_fileOrder.back());
        m_fileOrder.pop_back();
    }
    return m_files[pid];
}

void SocketOwnerLookup::note(pid_t pid, int fd, ino_t inode) {
    if (m_known.size() >= kKnownSockets) {
        m_known.clear();
    }
    m_known[inode] = Holder{pid, fd};
    if (auto files = m_files.find(pid); files != m_files.end()) {
        files->second.sockets[fd] = inode;
        files->second.others.erase(fd);
        files->second.highest = std::max(files->second.highest, fd);
        while (files->second.sockets.count(files->second.lowestFree) != 0 ||
               files->second.others.count(files->second.lowestFree) != 0) {
            ++files->second.lowestFree;
        }
    }
}

std::optional<int> SocketOwnerLookup::findInProcess(pid_t pid, ino_t inode, bool everything,
                                                    Pass& pass) {
    if (!spend(pass)) {
        return std::nullopt;
    }
    char path[64];
    std::snprintf(path, sizeof(path), "/proc/%d/fd", pid);
    FileDescriptor directory(::open(path, O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (!directory) {
        if (errno == ENOENT) {
            // Short-lived programs come and go: one that has ended is no longer tried first.
            std::lock_guard lock(m_mutex);
            forget(pid);
        }
        return std::nullopt;
    }
    DIR* files = ::fdopendir(directory.get());
    if (files == nullptr) {
        return std::nullopt;
    }
    // The directory stream owns the descriptor from here on.
    const int fdOfDirectory = directory.release();
    // A search of every process keeps its readings in m_known only; recent processes keep theirs
    // whole, so the next search reads only what is new. The last reading is copied: another
    // search may be reading the same process.
    ProcessFiles previous;
    if (!everything) {
        std::lock_guard lock(m_mutex);
        if (auto kept = m_files.find(pid); kept != m_files.end()) {
            previous = kept->second;
        }
    }
    ProcessFiles current;
    std::vector<std::pair<ino_t, int>> read;  // socket inodes first seen here, and where
    std::optional<int> found;
    char link[64];
    while (dirent* entry = ::readdir(files)) {
        if (entry->d_name[0] == '.') {
            continue;
        }
        const int fd = std::atoi(entry->d_name);
        // What was read before is taken as it was: a socket closed and another opened under the
        // same number is found by the probes above or by the search of every process. Listing
        // it costs little, so only the time bounds that.
        if (auto seen = previous.sockets.find(fd); seen != previous.sockets.end()) {
            current.sockets.emplace(fd, seen->second);
            current.highest = std::max(current.highest, fd);
            if (!list(pass)) {
                break;
            }
            continue;
        }
        if (previous.others.count(fd) != 0) {
            current.others.insert(fd);
            current.highest = std::max(current.highest, fd);
            if (!list(pass)) {
                break;
            }
            continue;
        }
        if (!spend(pass)) {
            break;
        }
        current.highest = std::max(current.highest, fd);
        const ssize_t length = ::readlinkat(fdOfDirectory, entry->d_name, link, sizeof(link));
        const auto socket = length > 0 ? socketInode(link, length) : std::nullopt;
        if (!socket) {
            current.others.insert(fd);
            continue;
        }
        current.sockets.emplace(fd, *socket);
        read.emplace_back(*socket, fd);
        if (*socket == inode) {
            found = fd;
        }
    }
    ::closedir(files);
    if (pass.exhausted && !everything) {
        // What the budget left unread is taken as it was, so the next search goes on from here
        // instead of starting over.
        current.sockets.merge(previous.sockets);
        current.others.merge(previous.others);
        current.highest = std::max(current.highest, previous.highest);
    }
    while (current.sockets.count(current.lowestFree) != 0 ||
           current.others.count(current.lowestFree) != 0) {
        ++current.lowestFree;
    }
    std::lock_guard lock(m_mutex);
    for (const auto& [socket, fd] : read) {
        if (m_known.size() >= kKnownSockets) {
            m_known.clear();
        }
        m_known[socket] = Holder{pid, fd};
    }
    if (!everything) {
        filesOf(pid) = std::move(current);
    }
    return found;
}

void SocketOwnerLookup::forget(pid_t pid) {
    std::erase_if(m_recent, [pid](const Holder& holder) { return holder.pid == pid; });
    if (m_files.erase(pid) != 0) {
        std::erase(m_fileOrder, pid);
    }
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
