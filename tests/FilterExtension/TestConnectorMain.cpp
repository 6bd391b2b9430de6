// A program that makes connections, for the root tests that need connections of many processes
// and of a user other than root. It runs where it is started (network namespace, user) and makes
// one TCP connection and one UDP exchange from each of a run of local ports, for a number of
// rounds, then prints one line per kind with what became of them:
//   tcp passed=<n> refused=<n> other=<n>
//   udp passed=<n> refused=<n> other=<n>
//
// Arguments: --server <IPv4 or IPv6 address> --tcp <port> --udp <port>
//            --local-ports <first> <count> [--rounds <n>] [--only tcp|udp] [--wait-for-end]
//            [--routing-header]
// A TCP connection passes when it reads the server's "pong"; with --wait-for-end it then waits for
// the server to end the connection before closing its own end (so the server's reset, not its
// own, is the last packet conntrack sees), else it closes with a reset at once. A UDP exchange
// passes when its datagram comes back. Each socket is bound to its local port with SO_REUSEADDR,
// so the rounds reuse the same ports. With --routing-header (IPv6), every packet carries a
// segment routing header of 328 bytes that ends at the server (segments left: 0), which any
// user may add to their sockets.

#include <arpa/inet.h>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <netinet/in.h>
#include <poll.h>
#include <string>
#include <sys/socket.h>
#include <unistd.h>
#include <vector>

namespace {

// Long enough for a verdict of a loaded machine's filter: a time-out is no answer, only a failure.
constexpr int kTimeoutMilliseconds = 15000;

enum class Outcome { passed, refused, other };

struct Counts {
    int passed = 0;
    int refused = 0;
    int other = 0;

    void add(Outcome outcome) {
        (outcome == Outcome::passed ? passed : outcome == Outcome::refused ? refused : other)++;
    }
};

// A server's or a local address; IPv6 when the text has a colon.
struct Address {
    sockaddr_storage storage{};
    socklen_t length = 0;
    int family = AF_INET;

    Address(const std::string& text, std::uint16_t port) {
        if (text.find(':') == std::string::npos) {
            auto* ipv4 = reinterpret_cast<sockaddr_in*>(&storage);
            ipv4->sin_family = AF_INET;
            ipv4->sin_port = htons(port);
            ::inet_pton(AF_INET, text.c_str(), &ipv4->sin_addr);
            length = sizeof(sockaddr_in);
        } else {
            auto* ipv6 = reinterpret_cast<sockaddr_in6*>(&storage);
            ipv6->sin6_family = AF_INET6;
            ipv6->sin6_port = htons(port);
            ::inet_pton(AF_INET6, text.c_str(), &ipv6->sin6_addr);
            length = sizeof(sockaddr_in6);
            family = AF_INET6;
        }
    }
    const sockaddr* get() const { return reinterpret_cast<const sockaddr*>(&storage); }
};

bool g_routingHeader = false;

bool waitFor(int fd, short events) {
    pollfd descriptor{fd, events, 0};
    return ::poll(&descriptor, 1, kTimeoutMilliseconds) > 0;
}

// A segment routing header of 20 segments, each the server, with none left to visit: the packet
// goes to the server, which reads past the header as if it were not there.
void addRoutingHeader(int fd, const Address& server) {
    constexpr int kSegments = 20;
    std::vector<std::uint8_t> header(8 + 16 * kSegments, 0);
    header[1] = 2 * kSegments;  // length in 8-byte units, after the first 8 bytes
    header[2] = 4;              // segment routing
    header[3] = 0;              // segments left
    header[4] = kSegments - 1;  // last entry
    const auto& address = reinterpret_cast<const sockaddr_in6*>(&server.storage)->sin6_addr;
    for (int i = 0; i < kSegments; ++i) {
        std::memcpy(header.data() + 8 + 16 * i, &address, sizeof(address));
    }
    ::setsockopt(fd, IPPROTO_IPV6, IPV6_RTHDR, header.data(),
                 static_cast<socklen_t>(header.size()));
}

int boundSocket(int type, const Address& server, std::uint16_t localPort) {
    const int fd = ::socket(server.family, type | SOCK_CLOEXEC, 0);
    const int one = 1;
    ::setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &one, sizeof(one));
    const Address local(server.family == AF_INET ? "0.0.0.0" : "::", localPort);
    if (::bind(fd, local.get(), local.length) != 0) {
        ::close(fd);
        return -1;
    }
    if (g_routingHeader) {
        addRoutingHeader(fd, server);
    }
    return fd;
}

void closeWithReset(int fd) {
    const linger reset{1, 0};
    ::setsockopt(fd, SOL_SOCKET, SO_LINGER, &reset, sizeof(reset));
    ::close(fd);
}

Outcome tcpConnection(const Address& server, std::uint16_t localPort, bool waitForEnd) {
    const int fd = boundSocket(SOCK_STREAM | SOCK_NONBLOCK, server, localPort);
    if (fd < 0) {
        return Outcome::other;
    }
    ::connect(fd, server.get(), server.length);
    Outcome outcome = Outcome::other;
    if (waitFor(fd, POLLOUT)) {
        int error = 0;
        socklen_t length = sizeof(error);
        ::getsockopt(fd, SOL_SOCKET, SO_ERROR, &error, &length);
        char reply[8];
        if (error == ECONNREFUSED) {
            outcome = Outcome::refused;
        } else if (error == 0 && waitFor(fd, POLLIN) && ::recv(fd, reply, sizeof(reply), 0) == 4) {
            outcome = Outcome::passed;
        }
    }
    if (outcome == Outcome::passed && waitForEnd) {
        char rest[8];
        while (waitFor(fd, POLLIN) && ::recv(fd, rest, sizeof(rest), 0) > 0) {
        }
    }
    closeWithReset(fd);
    return outcome;
}

Outcome udpExchange(const Address& server, std::uint16_t localPort) {
    const int fd = boundSocket(SOCK_DGRAM, server, localPort);
    if (fd < 0) {
        return Outcome::other;
    }
    Outcome outcome = Outcome::other;
    if (::connect(fd, server.get(), server.length) == 0 && ::send(fd, "ping", 4, 0) == 4 &&
        waitFor(fd, POLLIN)) {
        char reply[8];
        const ssize_t count = ::recv(fd, reply, sizeof(reply), 0);
        outcome = count == 4                             ? Outcome::passed
                  : (count < 0 && errno == ECONNREFUSED) ? Outcome::refused
                                                         : Outcome::other;
    }
    ::close(fd);
    return outcome;
}

}  // namespace

int main(int argc, char** argv) {
    std::string server;
    std::string only;
    int tcpPort = 0;
    int udpPort = 0;
    int firstPort = 0;
    int portCount = 0;
    int rounds = 1;
    bool waitForEnd = false;
    for (int i = 1; i < argc; ++i) {
        const std::string option = argv[i];
        const auto next = [&]() -> std::string { return i + 1 < argc ? argv[++i] : ""; };
        if (option == "--server") {
            server = next();
        } else if (option == "--tcp") {
            tcpPort = std::atoi(next().c_str());
        } else if (option == "--udp") {
            udpPort = std::atoi(next().c_str());
        } else if (option == "--local-ports") {
            firstPort = std::atoi(next().c_str());
            portCount = std::atoi(next().c_str());
        } else if (option == "--rounds") {
            rounds = std::atoi(next().c_str());
        } else if (option == "--only") {
            only = next();
        } else if (option == "--wait-for-end") {
            waitForEnd = true;
        } else if (option == "--routing-header") {
            g_routingHeader = true;
        }
    }
    const Address tcpServer(server, static_cast<std::uint16_t>(tcpPort));
    const Address udpServer(server, static_cast<std::uint16_t>(udpPort));
    Counts tcp;
    Counts udp;
    for (int round = 0; round < rounds; ++round) {
        for (int index = 0; index < portCount; ++index) {
            const auto localPort = static_cast<std::uint16_t>(firstPort + index);
            if (only != "udp") {
                tcp.add(tcpConnection(tcpServer, localPort, waitForEnd));
            }
            if (only != "tcp") {
                udp.add(udpExchange(udpServer, localPort));
            }
        }
    }
    std::printf("tcp passed=%d refused=%d other=%d\n", tcp.passed, tcp.refused, tcp.other);
    std::printf("udp passed=%d refused=%d other=%d\n", udp.passed, udp.refused, udp.other);
    return 0;
}
