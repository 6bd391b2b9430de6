#include "ClosedSocketSweeper.h"

#include "NetworkExtension/Flows/ConntrackRequest.h"
#include "NetworkExtension/Flows/SocketDestroyEvent.h"
#include "OSLog/OSLog.h"

#include <cerrno>
#include <cstring>
#include <poll.h>
#include <sys/eventfd.h>
#include <sys/socket.h>
#include <unistd.h>

#include <linux/netlink.h>
#include <linux/sock_diag.h>

namespace tarnwick {

namespace {

const OSLog& sweeperLog() {
    // Never destroyed: threads that outlive main may still log.
    static const auto* log = new OSLog("com.brenlow-works.corvid", "filter");
    return *log;
}

std::string systemError(const std::string& what) {
    return what + ": " + std::strerror(errno);
}

FileDescriptor netlinkSocket(int protocol) {
    FileDescriptor socket(::socket(AF_NETLINK, SOCK_RAW | SOCK_CLOEXEC | SOCK_NONBLOCK, protocol));
    sockaddr_nl local{};
    local.nl_family = AF_NETLINK;
    if (socket && ::bind(socket.get(), reinterpret_cast<sockaddr*>(&local), sizeof(local)) != 0) {
        socket.reset();
    }
    return socket;
}

}  // namespace

ClosedSocketSweeper::~ClosedSocketSweeper() {
    stop();
}

Result<void, std::string> ClosedSocketSweeper::start() {
    if (m_thread.joinable()) {
        return {};
    }
    FileDescriptor announcements = netlinkSocket(NETLINK_SOCK_DIAG);
    if (!announcements) {
        return Failure{systemError("cannot open a socket-diagnostics socket")};
    }
    for (const int group : {SKNLGRP_INET_UDP_DESTROY, SKNLGRP_INET6_UDP_DESTROY}) {
        if (::setsockopt(announcements.get(), SOL_NETLINK, NETLINK_ADD_MEMBERSHIP, &group,
                         sizeof(group)) != 0) {
            return Failure{systemError("cannot watch sockets end")};
        }
    }
    // Room for the ends of many sockets at once (a program that closes thousands together).
    const int bufferSize = 4 << 20;
    (void)::setsockopt(announcements.get(), SOL_SOCKET, SO_RCVBUFFORCE, &bufferSize,
                       sizeof(bufferSize));
    FileDescriptor conntrack = netlinkSocket(NETLINK_NETFILTER);
    if (!conntrack) {
        return Failure{systemError("cannot open a conntrack socket")};
    }
    FileDescriptor wake(::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK));
    if (!wake) {
        return Failure{systemError("cannot make an event descriptor")};
    }
    m_announcements = std::move(announcements);
    m_conntrack = std::move(conntrack);
    m_wake = std::move(wake);
    m_thread = std::thread([this] { run(); });
    return {};
}

void ClosedSocketSweeper::stop() {
    if (!m_thread.joinable()) {
        return;
    }
    const std::uint64_t one = 1;
    (void)!::write(m_wake.get(), &one, sizeof(one));
    m_thread.join();
    m_announcements.reset();
    m_conntrack.reset();
    m_wake.reset();
}

void ClosedSocketSweeper::allowed(const FlowTable::Key& connection) {
    m_allowed.record(connection);
}

void ClosedSocketSweeper::run() {
    std::vector<std::uint8_t> buffer(64 << 10);
    for (;;) {
        pollfd descriptors[2] = {{m_announcements.get(), POLLIN, 0}, {m_wake.get(), POLLIN, 0}};
        if (::poll(descriptors, 2, -1) < 0 && errno != EINTR) {
            osLog(systemError("Watching sockets end failed"), OSLogType::fault, sweeperLog());
            return;
        }
        if (descriptors[1].revents != 0) {
            return;
        }
        for (;;) {
            const ssize_t received =
                ::recv(m_announcements.get(), buffer.data(), buffer.size(), MSG_DONTWAIT);
            if (received < 0 && errno == ENOBUFS) {
                osLog(
                    "Announcements of ended sockets were lost; every allowed UDP connection "
                    "will be asked about again",
                    OSLogType::error, sweeperLog());
                remove(m_allowed.takeAll());
                continue;
            }
            if (received <= 0) {
                break;
            }
            for (const auto& ended : SocketDestroyEvent::parse(
                     std::span(buffer.data(), static_cast<std::size_t>(received)))) {
                remove(m_allowed.take(ended));
            }
        }
    }
}

void ClosedSocketSweeper::remove(const std::vector<FlowTable::Key>& connections) {
    sockaddr_nl kernel{};
    kernel.nl_family = AF_NETLINK;
    for (const auto& connection : connections) {
        const auto request = ConntrackRequest::deleteConnection(connection, ++m_sequence);
        // A connection conntrack has let go already is what removal wants: its error is no news.
        (void)::sendto(m_conntrack.get(), request.data(), request.size(), 0,
                       reinterpret_cast<const sockaddr*>(&kernel), sizeof(kernel));
        // The kernel answers at once; read so the answers never fill the socket.
        char answer[512];
        while (::recv(m_conntrack.get(), answer, sizeof(answer), MSG_DONTWAIT) > 0) {
        }
    }
}

}  // namespace tarnwick
