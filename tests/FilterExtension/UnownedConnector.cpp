#include "UnownedConnector.h"

#include "support/InFlightDescriptor.h"

#include <algorithm>
#include <arpa/inet.h>
#include <array>
#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <string>
#include <sys/prctl.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <thread>
#include <unistd.h>
#include <vector>

namespace tarnwick::testing {

namespace {

struct Options {
    sockaddr_in remote{};
    long hold = 0;
    double rate = 100;
    long count = 0;
    long settleMilliseconds = 1000;
};

bool parse(int argc, char** argv, Options& options) {
    bool haveRemote = false;
    for (int i = 1; i + 1 < argc; i += 2) {
        const std::string name = argv[i];
        const std::string value = argv[i + 1];
        if (name == "--connect") {
            const auto colon = value.rfind(':');
            options.remote.sin_family = AF_INET;
            options.remote.sin_port =
                htons(static_cast<std::uint16_t>(std::atoi(value.substr(colon + 1).c_str())));
            haveRemote =
                colon != std::string::npos &&
                ::inet_pton(AF_INET, value.substr(0, colon).c_str(), &options.remote.sin_addr) == 1;
        } else if (name == "--hold") {
            options.hold = std::atol(value.c_str());
        } else if (name == "--rate") {
            options.rate = std::atof(value.c_str());
        } else if (name == "--count") {
            options.count = std::atol(value.c_str());
        } else if (name == "--settle") {
            options.settleMilliseconds = std::atol(value.c_str());
        } else {
            return false;
        }
    }
    return haveRemote && options.rate > 0;
}

// Messages to itself, each carrying one socket; a new pair when one is full.
class InFlight {
public:
    ~InFlight() {
        for (const auto& pair : m_pairs) {
            ::close(pair[0]);
            ::close(pair[1]);
        }
    }

    bool send(int fd) {
        for (int attempt = 0; attempt < 2; ++attempt) {
            if (m_pairs.empty() || attempt == 1) {
                std::array<int, 2> pair{};
                if (::socketpair(AF_UNIX, SOCK_DGRAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0,
                                 pair.data()) != 0) {
                    return false;
                }
                m_pairs.push_back(pair);
            }
            if (sendInFlight(m_pairs.back()[0], fd, MSG_DONTWAIT)) {
                return true;
            }
        }
        return false;
    }

    // Takes every socket back.
    std::vector<int> receiveAll() {
        std::vector<int> sockets;
        for (const auto& pair : m_pairs) {
            for (int fd = receiveInFlight(pair[1]); fd >= 0; fd = receiveInFlight(pair[1])) {
                sockets.push_back(fd);
            }
        }
        return sockets;
    }

private:
    std::vector<std::array<int, 2>> m_pairs;
};

// Holds `count` descriptors, spread over processes of this one's (which end with it) so that
// no one of them needs a limit above the usual.
long holdDescriptors(long count) {
    rlimit files{};
    ::getrlimit(RLIMIT_NOFILE, &files);
    files.rlim_cur = files.rlim_max;
    ::setrlimit(RLIMIT_NOFILE, &files);
    const long perProcess = std::min<long>(16384, static_cast<long>(files.rlim_cur) - 64);
    int ready[2];
    if (count == 0 || ::pipe2(ready, O_CLOEXEC) != 0) {
        return 0;
    }
    long processes = 0;
    for (long left = count; left > 0; left -= perProcess, ++processes) {
        if (::fork() == 0) {
            ::prctl(PR_SET_PDEATHSIG, SIGKILL);
            const int null = ::open("/dev/null", O_RDONLY | O_CLOEXEC);
            long held = 1;
            while (held < std::min(left, perProcess) && ::fcntl(null, F_DUPFD_CLOEXEC, 0) >= 0) {
                ++held;
            }
            (void)!::write(ready[1], &held, sizeof(held));
            for (;;) {
                ::pause();
            }
        }
    }
    long held = 0;
    for (long i = 0; i < processes; ++i) {
        long one = 0;
        if (::read(ready[0], &one, sizeof(one)) == sizeof(one)) {
            held += one;
        }
    }
    ::close(ready[0]);
    ::close(ready[1]);
    return held;
}

}  // namespace

int runUnownedConnector(int argc, char** argv) {
    Options options;
    if (!parse(argc, argv, options)) {
        std::fprintf(stderr,
                     "usage: %s --connect <address>:<port> [--hold <n>] [--rate <n>] "
                     "[--count <n>] [--settle <ms>]\n",
                     argv[0]);
        return 2;
    }
    const long held = holdDescriptors(options.hold);
    std::printf("holding %ld\n", held);
    std::fflush(stdout);

    InFlight inFlight;
    const auto interval = std::chrono::duration<double>(1.0 / options.rate);
    auto next = std::chrono::steady_clock::now();
    long sent = 0;
    while (options.count == 0 || sent < options.count) {
        const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
        if (fd < 0) {
            std::perror("socket");
            return 1;
        }
        (void)::connect(fd, reinterpret_cast<const sockaddr*>(&options.remote),
                        sizeof(options.remote));
        if (!inFlight.send(fd)) {
            std::perror("sendmsg");
            return 1;
        }
        ::close(fd);
        ++sent;
        next += std::chrono::duration_cast<std::chrono::steady_clock::duration>(interval);
        std::this_thread::sleep_until(next);
    }
    std::printf("sent %ld\n", sent);
    std::fflush(stdout);

    std::this_thread::sleep_for(std::chrono::milliseconds(options.settleMilliseconds));
    long refused = 0;
    long waiting = 0;
    long passed = 0;
    for (const int fd : inFlight.receiveAll()) {
        pollfd state{fd, POLLOUT, 0};
        ::poll(&state, 1, 0);
        int error = 0;
        socklen_t length = sizeof(error);
        ::getsockopt(fd, SOL_SOCKET, SO_ERROR, &error, &length);
        if (error == ECONNREFUSED) {
            ++refused;
        } else if (state.revents == 0) {
            ++waiting;
        } else if (error == 0) {
            ++passed;
        }
        ::close(fd);
    }
    std::printf("refused %ld waiting %ld passed %ld\n", refused, waiting, passed);
    std::fflush(stdout);
    return 0;
}

}  // namespace tarnwick::testing
