#include "Foundation/FileDescriptor.h"
#include "NetworkExtension/Provider/AuditToken.h"
#include "NetworkExtension/Provider/SocketOwnerLookup.h"
#include "support/InFlightDescriptor.h"

#include <gtest/gtest.h>

#include <csignal>
#include <cstdlib>
#include <fcntl.h>
#include <optional>
#include <sched.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>
#include <vector>

using namespace std::chrono_literals;

namespace tarnwick {
namespace {

using Budget = SocketOwnerLookup::Budget;

ino_t inodeOf(int fd) {
    struct stat status {};
    EXPECT_EQ(::fstat(fd, &status), 0);
    return status.st_ino;
}

// A socket of this process's, opened after many other descriptors, so that reading this
// process's descriptors in order reaches it last.
class SocketOwnerLookupTest : public ::testing::Test {
protected:
    void SetUp() override {
        const FileDescriptor null(::open("/dev/null", O_RDONLY | O_CLOEXEC));
        for (int i = 0; i < 900; ++i) {
            m_others.emplace_back(::fcntl(null.get(), F_DUPFD_CLOEXEC, 0));
            ASSERT_TRUE(m_others.back());
        }
        m_socket = FileDescriptor(::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0));
        ASSERT_TRUE(m_socket);
    }

    std::vector<FileDescriptor> m_others;
    FileDescriptor m_socket;
    const SocketOwnerLookup::Clock::time_point m_now = SocketOwnerLookup::Clock::now();
};

TEST_F(SocketOwnerLookupTest, SearchStopsWhereItsBudgetEnds) {
    struct Row {
        const char* name;
        Budget budget;
        bool found;
    };
    const std::vector<Row> rows = {
        {"an ample budget finds it", {10s, 10'000'000, 30s, 10s}, true},
        {"too few descriptors", {10s, 100, 30s, 10s}, false},
        {"no time", {0ms, 10'000'000, 30s, 10s}, false},
        {"no time left for the user", {10s, 10'000'000, 30s, 0ms}, false},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        SocketOwnerLookup lookup(row.budget);
        const auto search = lookup.holderOf(inodeOf(m_socket.get()), ::geteuid(), m_now);
        EXPECT_EQ(search.pid, row.found ? ::getpid() : 0);
        EXPECT_EQ(search.exhausted, !row.found);
        EXPECT_LE(search.descriptorsRead, row.budget.descriptors);
    }
}

TEST_F(SocketOwnerLookupTest, FoundSocketIsFoundAgainAtOnceAndOnThePacketThread) {
    SocketOwnerLookup lookup(Budget{10s, 10'000'000, 30s, 10s});
    const ino_t inode = inodeOf(m_socket.get());
    EXPECT_EQ(lookup.recentHolder(inode), 0) << "never seen: no search here";
    ASSERT_EQ(lookup.holderOf(inode, ::geteuid(), m_now).pid, ::getpid());
    EXPECT_EQ(lookup.recentHolder(inode), ::getpid());
    const auto again = lookup.holderOf(inode, ::geteuid(), m_now);
    EXPECT_EQ(again.pid, ::getpid());
    EXPECT_EQ(again.descriptorsRead, 0u);
}

TEST_F(SocketOwnerLookupTest, SocketInNoProcessIsNotSearchedForAgainForAWhile) {
    int pair[2];
    ASSERT_EQ(::socketpair(AF_UNIX, SOCK_DGRAM | SOCK_CLOEXEC, 0, pair), 0);
    const FileDescriptor sender(pair[0]);
    const FileDescriptor receiver(pair[1]);
    const ino_t inode = inodeOf(m_socket.get());
    ASSERT_TRUE(testing::sendInFlight(sender.get(), m_socket.get()));
    m_socket.reset();

    SocketOwnerLookup lookup(Budget{200ms, 200'000, 30s, 10s});
    const auto first = lookup.holderOf(inode, ::geteuid(), m_now);
    EXPECT_EQ(first.pid, 0);
    EXPECT_FALSE(first.remembered);
    EXPECT_GT(first.descriptorsRead, 0u);

    const auto soon = lookup.holderOf(inode, ::geteuid(), m_now + 29s);
    EXPECT_EQ(soon.pid, 0);
    EXPECT_TRUE(soon.remembered);
    EXPECT_EQ(soon.descriptorsRead, 0u);
    EXPECT_EQ(lookup.recentHolder(inode), 0);

    const auto later = lookup.holderOf(inode, ::geteuid(), m_now + 31s);
    EXPECT_FALSE(later.remembered) << "it may have been received since";
    EXPECT_GT(later.descriptorsRead, 0u);
}

TEST(SocketOwnerLookupOrder, NewestProcessesComeFirst) {
    struct Row {
        const char* name;
        std::vector<pid_t> pids;
        std::optional<pid_t> last;
        std::vector<pid_t> expected;
    };
    const std::vector<Row> rows = {
        {"highest first", {1, 300, 20, 4000}, 4000, {4000, 300, 20, 1}},
        {"after a wrap, those above the last pid given are the oldest",
         {1, 300, 20, 4000, 32000},
         300,
         {300, 20, 1, 32000, 4000}},
        {"the last pid unknown: highest first", {7, 9, 8}, std::nullopt, {9, 8, 7}},
    };
    for (auto row : rows) {
        SCOPED_TRACE(row.name);
        SocketOwnerLookup::newestFirst(row.pids, row.last);
        EXPECT_EQ(row.pids, row.expected);
    }
}

TEST_F(SocketOwnerLookupTest, NewProcessIsFoundBeforeOlderProcessesAreRead) {
    // This process is older than the child and holds 900 descriptors besides: reading it, or
    // the other processes of the user oldest first, costs far more than finding the child. The
    // child's socket is read by its number where the child's count of descriptors suggests it,
    // and otherwise found by listing them. The packet thread's step reads a few by number only,
    // of processes in its own network namespace, and only while the user has search time left.
    struct Row {
        const char* name;
        int before;           // descriptors the child opens before its socket
        int socketAt;         // the socket moved to this number; -1: where the kernel put it
        int after;            // and after it
        bool otherNamespace;  // the child runs in a network namespace of its own
        bool onPacketThread;  // so the packet thread finds it
    };
    const std::vector<Row> rows = {
        {"the newest descriptor", 0, -1, 0, false, true},
        {"below others opened later", 0, -1, 3, false, true},
        {"far above the others", 2, 700, 3, false, false},
        {"among more descriptors than are read by number", 100, -1, 0, false, false},
        {"in another network namespace", 0, -1, 0, true, false},
    };
    const auto lastPid = [] {
        const FileDescriptor file(::open("/proc/sys/kernel/ns_last_pid", O_RDONLY | O_CLOEXEC));
        char text[32] = {};
        return file && ::read(file.get(), text, sizeof(text) - 1) > 0 ? std::atoi(text) : 0;
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        if (row.otherNamespace && ::geteuid() != 0) {
            continue;  // a network namespace needs root
        }
        int ready[2];
        ASSERT_EQ(::pipe2(ready, O_CLOEXEC), 0);
        const pid_t child = ::fork();
        ASSERT_GE(child, 0);
        if (child == 0) {
            ::close_range(3, static_cast<unsigned>(ready[1]) - 1, 0);
            ::close_range(static_cast<unsigned>(ready[1]) + 1, ~0u, 0);
            if (row.otherNamespace && ::unshare(CLONE_NEWNET) != 0) {
                ::_exit(1);
            }
            for (int i = 0; i < row.before; ++i) {
                (void)::open("/dev/null", O_RDONLY);
            }
            int fd = ::socket(AF_INET, SOCK_DGRAM, 0);
            if (row.socketAt >= 0 && ::dup2(fd, row.socketAt) == row.socketAt) {
                ::close(fd);
                fd = row.socketAt;
            }
            for (int i = 0; i < row.after; ++i) {
                (void)::open("/dev/null", O_RDONLY);
            }
            struct stat status {};
            ::fstat(fd, &status);
            const ino_t inode = status.st_ino;
            (void)!::write(ready[1], &inode, sizeof(inode));
            ::pause();
            ::_exit(0);
        }
        ::close(ready[1]);
        ino_t inode = 0;
        const bool told = ::read(ready[0], &inode, sizeof(inode)) == sizeof(inode);
        ::close(ready[0]);
        SocketOwnerLookup noTimeLeft(Budget{10s, 10'000'000, 30s, 0ms});
        const pid_t withoutTime = noTimeLeft.newestHolder(inode, ::geteuid(), m_now).pid;
        SocketOwnerLookup onPacketThread(Budget{10s, 10'000'000, 30s, 10s});
        auto newest = onPacketThread.newestHolder(inode, ::geteuid(), m_now);
        // Other programs on the machine may have started processes and threads meanwhile, and
        // the step reads only a few dozen descriptors of the newest few pids.
        const bool noneSince = lastPid() == child;
        const pid_t remembered = onPacketThread.recentHolder(inode);
        // The process as the step held it names it for the flow, without reading it again.
        const pid_t newestPid = newest.pid;
        const auto token =
            newest.pidfd ? AuditToken::forProcess(newest.pid, std::move(newest.pidfd), newest.uid)
                         : std::nullopt;
        const bool tokenCurrent = token && token->isCurrent();
        SocketOwnerLookup lookup(Budget{10s, 10'000'000, 30s, 10s});
        const auto search = lookup.holderOf(inode, ::geteuid(), m_now);
        ::kill(child, SIGKILL);
        ::waitpid(child, nullptr, 0);
        ASSERT_TRUE(told);
        EXPECT_EQ(search.pid, child);
        EXPECT_LT(search.descriptorsRead, m_others.size());
        EXPECT_EQ(withoutTime, 0);
        if (!row.onPacketThread) {
            EXPECT_EQ(newestPid, 0) << "left to the search off the packet thread";
        } else if (noneSince) {
            EXPECT_EQ(newestPid, child);
            EXPECT_EQ(remembered, child) << "and remembered";
            ASSERT_TRUE(token);
            EXPECT_EQ(token->pid, child);
            EXPECT_EQ(token->uid, ::geteuid());
            EXPECT_TRUE(tokenCurrent);
            EXPECT_FALSE(token->isCurrent()) << "once it has ended";
        }
    }
}

TEST_F(SocketOwnerLookupTest, EachUserSearchesOnlySoLongASecond) {
    // A search may take 10 ms, one user's searches 5 ms a second and 10 ms at once; each look at
    // the clock finds a millisecond gone. No process holds these sockets.
    std::chrono::nanoseconds clock{0};
    SocketOwnerLookup lookup(Budget{10ms, 10'000'000, 30s, 5ms}, [&clock] { return clock += 1ms; });
    const uid_t user = ::geteuid();
    const uid_t other = user + 1;
    const auto read = [&](ino_t inode, uid_t uid, std::chrono::seconds later) {
        return lookup.holderOf(inode, uid, m_now + later).descriptorsRead;
    };
    EXPECT_GT(read(999'999'001, user, 0s), 0u);
    EXPECT_EQ(read(999'999'002, user, 0s), 0u) << "no time left: not searched at all";
    EXPECT_EQ(lookup.holderOf(999'999'002, user, m_now).remembered, false)
        << "a socket not searched for is not taken to have no process";
    EXPECT_GT(read(999'999'003, other, 0s), 0u) << "another user's time is their own";
    EXPECT_GT(read(999'999'004, user, 3s), 0u) << "given back as time goes by";
}

}  // namespace
TEST_F(SocketOwnerLookupTest, SearchesSideBySideEachFindTheirSocket) {
    // Threads search at once, two of them for each socket, while the packet thread's cheap
    // look-up runs too: every search finds this process, whichever search read the descriptors.
    std::vector<FileDescriptor> sockets;
    for (int i = 0; i < 4; ++i) {
        sockets.emplace_back(::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0));
        ASSERT_TRUE(sockets.back());
    }
    SocketOwnerLookup lookup(Budget{10s, 10'000'000, 30s, 10s});
    std::vector<pid_t> found(2 * sockets.size() + 1, -1);
    {
        std::vector<std::jthread> searches;
        for (std::size_t i = 0; i < 2 * sockets.size(); ++i) {
            searches.emplace_back([&, i] {
                found[i] = lookup.holderOf(inodeOf(sockets[i / 2].get()), ::geteuid(), m_now).pid;
            });
        }
        searches.emplace_back([&] {
            found.back() = 0;
            for (int round = 0; round < 200; ++round) {
                (void)lookup.recentHolder(inodeOf(m_socket.get()));
            }
        });
    }
    for (std::size_t i = 0; i + 1 < found.size(); ++i) {
        EXPECT_EQ(found[i], ::getpid()) << "search " << i;
    }
    EXPECT_EQ(lookup.holderOf(inodeOf(m_socket.get()), ::geteuid(), m_now).pid, ::getpid());
}

}  // namespace tarnwick
