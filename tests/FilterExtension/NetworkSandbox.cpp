#include "NetworkSandbox.h"

#include "Foundation/Process.h"

#include <arpa/inet.h>
#include <cerrno>
#include <csignal>
#include <cstring>
#include <fcntl.h>
#include <filesystem>
#include <grp.h>
#include <netinet/in.h>
#include <poll.h>
#include <sched.h>
#include <stdexcept>
#include <sys/eventfd.h>
#include <sys/mount.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

extern char** environ;

namespace tarnwick::testing {

namespace {

int openOwnNamespace() {
    return ::open("/proc/thread-self/ns/net", O_RDONLY | O_CLOEXEC);
}

int makeNamespace() {
    const int original = openOwnNamespace();
    if (original < 0 || ::unshare(CLONE_NEWNET) != 0) {
        throw std::runtime_error(std::string("cannot make a network namespace: ") +
                                 std::strerror(errno));
    }
    const int created = openOwnNamespace();
    ::setns(original, CLONE_NEWNET);
    ::close(original);
    return created;
}

void check(const NetworkSandbox::CommandResult& result, const std::string& what) {
    if (result.status != 0) {
        throw std::runtime_error(what + " failed: " + result.output);
    }
}

std::string ipTool() {
    return ::access("/usr/sbin/ip", X_OK) == 0 ? "/usr/sbin/ip" : "/sbin/ip";
}

std::vector<char*> pointers(std::vector<std::string>& strings) {
    std::vector<char*> result;
    for (auto& text : strings) {
        result.push_back(text.data());
    }
    result.push_back(nullptr);
    return result;
}

std::optional<std::string> readPipeLine(int fd, std::string& buffer,
                                        std::chrono::milliseconds timeout) {
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    for (;;) {
        if (auto newline = buffer.find('\n'); newline != std::string::npos) {
            std::string line = buffer.substr(0, newline);
            buffer.erase(0, newline + 1);
            return line;
        }
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
            deadline - std::chrono::steady_clock::now());
        if (left.count() <= 0) {
            return std::nullopt;
        }
        pollfd descriptor{fd, POLLIN, 0};
        if (::poll(&descriptor, 1, static_cast<int>(left.count())) <= 0) {
            continue;
        }
        char chunk[4096];
        const ssize_t count = ::read(fd, chunk, sizeof(chunk));
        if (count <= 0) {
            return std::nullopt;
        }
        buffer.append(chunk, static_cast<std::size_t>(count));
    }
}

bool waitReadable(int fd, short events, std::chrono::milliseconds timeout) {
    pollfd descriptor{fd, events, 0};
    return ::poll(&descriptor, 1, static_cast<int>(timeout.count())) > 0;
}

sockaddr_in ipv4(const char* address, std::uint16_t port) {
    sockaddr_in result{};
    result.sin_family = AF_INET;
    result.sin_port = htons(port);
    ::inet_pton(AF_INET, address, &result.sin_addr);
    return result;
}

std::vector<std::uint8_t> dnsQuestion(const std::string& name, std::uint16_t id) {
    std::vector<std::uint8_t> message = {static_cast<std::uint8_t>(id >> 8),
                                         static_cast<std::uint8_t>(id & 0xff),
                                         0x01,
                                         0x00,
                                         0,
                                         1,
                                         0,
                                         0,
                                         0,
                                         0,
                                         0,
                                         0};
    std::size_t start = 0;
    while (start <= name.size()) {
        auto dot = name.find('.', start);
        if (dot == std::string::npos) {
            dot = name.size();
        }
        message.push_back(static_cast<std::uint8_t>(dot - start));
        message.insert(message.end(), name.begin() + static_cast<long>(start),
                       name.begin() + static_cast<long>(dot));
        start = dot + 1;
    }
    message.push_back(0);
    message.insert(message.end(), {0, 1, 0, 1});  // A, IN
    return message;
}

}  // namespace

NetworkSandbox::NetworkSandbox() {
    m_client = makeNamespace();
    m_server = makeNamespace();
    const std::string ip = ipTool();
    const std::string serverPath =
        "/proc/" + std::to_string(::getpid()) + "/fd/" + std::to_string(m_server);
    check(runIn(m_client, {ip, "link", "add", "veth0", "type", "veth", "peer", "name", "veth1",
                           "netns", serverPath}),
          "ip link add");
    check(runIn(m_client, {ip, "addr", "add", std::string(kClientAddress) + "/24", "dev", "veth0"}),
          "ip addr add");
    check(runIn(m_server, {ip, "addr", "add", std::string(kServerAddress) + "/24", "dev", "veth1"}),
          "ip addr add");
    for (const auto& [space, device] :
         {std::pair{m_client, "veth0"}, std::pair{m_server, "veth1"}}) {
        check(runIn(space, {ip, "link", "set", device, "up"}), "ip link set up");
        check(runIn(space, {ip, "link", "set", "lo", "up"}), "ip link set lo up");
    }
}

void NetworkSandbox::addServerAddress(const std::string& address) {
    check(runIn(m_server, {ipTool(), "addr", "add", address + "/24", "dev", "veth1"}),
          "ip addr add");
}

NetworkSandbox::~NetworkSandbox() {
    ::close(m_client);
    ::close(m_server);
}

int NetworkSandbox::socketIn(int namespaceFd, int domain, int type) {
    const int original = openOwnNamespace();
    if (original < 0 || ::setns(namespaceFd, CLONE_NEWNET) != 0) {
        if (original >= 0) {
            ::close(original);
        }
        return -1;
    }
    const int fd = ::socket(domain, type | SOCK_CLOEXEC, 0);
    ::setns(original, CLONE_NEWNET);
    ::close(original);
    return fd;
}

NetworkSandbox::CommandResult NetworkSandbox::runIn(int namespaceFd,
                                                    const std::vector<std::string>& arguments) {
    // nsenter joins the namespace through this process's descriptor for it.
    ProcessRequest request;
    request.arguments = {
        "/usr/bin/nsenter",
        "--net=/proc/" + std::to_string(::getpid()) + "/fd/" + std::to_string(namespaceFd), "--"};
    request.arguments.insert(request.arguments.end(), arguments.begin(), arguments.end());
    const auto outcome = Process::run(request);
    if (!outcome) {
        return {-1, outcome.error().message};
    }
    return {outcome->exitStatus, outcome->standardOutput + outcome->standardError};
}

ChildProcess::ChildProcess(const std::vector<std::string>& arguments, const Options& options) {
    int output[2];
    if (::pipe2(output, O_CLOEXEC) != 0) {
        throw std::runtime_error("pipe");
    }
    FileDescriptor readEnd(output[0]);
    FileDescriptor writeEnd(output[1]);
    int input[2] = {-1, -1};
    if (options.standardInput && ::pipe2(input, O_CLOEXEC) != 0) {
        throw std::runtime_error("pipe");
    }
    FileDescriptor inputRead(input[0]);
    FileDescriptor inputWrite(input[1]);
    FileDescriptor mountNamespace;
    if (options.mountNamespaceOf > 0) {
        const std::string path = "/proc/" + std::to_string(options.mountNamespaceOf) + "/ns/mnt";
        mountNamespace.reset(::open(path.c_str(), O_RDONLY | O_CLOEXEC));
        if (!mountNamespace) {
            throw std::runtime_error("cannot open " + path);
        }
    }
    std::vector<std::string> strings = arguments;
    auto argv = pointers(strings);
    std::vector<std::string> environment;
    for (char** entry = environ; *entry != nullptr; ++entry) {
        environment.emplace_back(*entry);
    }
    environment.insert(environment.end(), options.environment.begin(), options.environment.end());
    auto envp = pointers(environment);
    // The folders to make for each bound file, outermost first, spelled out before the fork.
    std::vector<std::vector<std::string>> boundFolders;
    for (const auto& [file, where] : options.boundFiles) {
        auto& folders = boundFolders.emplace_back();
        for (auto folder = std::filesystem::path(where).parent_path();
             folder != folder.root_path() && !folder.empty(); folder = folder.parent_path()) {
            folders.insert(folders.begin(), folder.string());
        }
    }

    // Between fork and exec only system calls: the parent has threads.
    m_pid = ::fork();
    if (m_pid == 0) {
        ::dup2(output[1], STDOUT_FILENO);
        if (inputRead) {
            ::dup2(inputRead.get(), STDIN_FILENO);
        }
        if (options.privateRunFolders) {
            if (::unshare(CLONE_NEWNS) != 0 ||
                ::mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) != 0 ||
                ::mount("tmpfs", "/run", "tmpfs", MS_NOSUID | MS_NODEV, "mode=0755") != 0 ||
                ::mount("tmpfs", "/var/lib", "tmpfs", MS_NOSUID | MS_NODEV, "mode=0755") != 0 ||
                ::mount("tmpfs", "/usr/local/lib", "tmpfs", MS_NOSUID | MS_NODEV, "mode=0755") !=
                    0) {
                ::_exit(125);
            }
            for (std::size_t i = 0; i < options.boundFiles.size(); ++i) {
                for (const auto& folder : boundFolders[i]) {
                    (void)::mkdir(folder.c_str(), 0755);
                }
                const char* where = options.boundFiles[i].second.c_str();
                const int placeholder = ::open(where, O_CREAT | O_WRONLY | O_CLOEXEC, 0755);
                if (placeholder < 0 || ::close(placeholder) != 0 ||
                    ::mount(options.boundFiles[i].first.c_str(), where, nullptr, MS_BIND,
                            nullptr) != 0) {
                    ::_exit(120);
                }
            }
        }
        if (mountNamespace && ::setns(mountNamespace.get(), CLONE_NEWNS) != 0) {
            ::_exit(124);
        }
        if (options.networkNamespace >= 0 && ::setns(options.networkNamespace, CLONE_NEWNET) != 0) {
            ::_exit(123);
        }
        if (options.user != 0) {
            if (::setgroups(0, nullptr) != 0 ||
                ::setresgid(options.user, options.user, options.user) != 0 ||
                ::setresuid(options.user, options.user, options.user) != 0) {
                ::_exit(122);
            }
        }
        if (::chdir("/") != 0) {
            ::_exit(121);
        }
        ::execve(argv[0], argv.data(), envp.data());
        ::_exit(127);
    }
    writeEnd.reset();
    inputRead.reset();
    m_input = std::move(inputWrite);
    if (m_pid < 0) {
        throw std::runtime_error("fork");
    }
    m_output = std::move(readEnd);
    m_pidFd.reset(static_cast<int>(::syscall(SYS_pidfd_open, m_pid, 0)));
}

ChildProcess::~ChildProcess() {
    if (m_pid > 0) {
        // Killed and reaped; a child that will not end in time is left to init.
        (void)stop(SIGKILL, std::chrono::seconds(10));
    }
    closeInput();
}

void ChildProcess::closeInput() {
    m_input.reset();
}

std::optional<std::string> ChildProcess::readLine(std::chrono::milliseconds timeout) {
    return readPipeLine(m_output.get(), m_buffer, timeout);
}

std::optional<std::string> ChildProcess::readLineStartingWith(const std::string& prefix,
                                                              std::chrono::milliseconds timeout) {
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    for (;;) {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
            deadline - std::chrono::steady_clock::now());
        auto line = readLine(std::max(left, std::chrono::milliseconds(0)));
        if (!line) {
            return std::nullopt;
        }
        if (line->rfind(prefix, 0) == 0) {
            return line;
        }
    }
}

std::optional<int> ChildProcess::stop(int signal, std::chrono::milliseconds timeout) {
    if (m_pid <= 0) {
        return std::nullopt;
    }
    if (signal != 0) {
        ::kill(m_pid, signal);
    }
    if (m_pidFd && !waitReadable(m_pidFd.get(), POLLIN, timeout)) {
        return std::nullopt;
    }
    int status = 0;
    if (::waitpid(m_pid, &status, 0) != m_pid) {
        return std::nullopt;
    }
    m_pid = -1;
    return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
}

bool waitUntil(const std::function<bool()>& condition, std::chrono::milliseconds timeout) {
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    while (!condition()) {
        if (std::chrono::steady_clock::now() >= deadline) {
            return false;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    return true;
}

SocketServer::SocketServer(int fd, std::function<void(int)> onReadable)
    : m_fd(fd), m_stop(::eventfd(0, EFD_CLOEXEC)) {
    m_thread = std::thread([fd, stop = m_stop, onReadable = std::move(onReadable)] {
        for (;;) {
            pollfd descriptors[2] = {{fd, POLLIN, 0}, {stop, POLLIN, 0}};
            if (::poll(descriptors, 2, -1) < 0 && errno != EINTR) {
                return;
            }
            if (descriptors[1].revents != 0) {
                return;
            }
            if (descriptors[0].revents & POLLIN) {
                onReadable(fd);
            }
        }
    });
}

SocketServer::~SocketServer() {
    if (m_thread.joinable()) {
        const std::uint64_t one = 1;
        [[maybe_unused]] const auto written = ::write(m_stop, &one, sizeof(one));
        m_thread.join();
    }
    ::close(m_fd);
    ::close(m_stop);
}

std::unique_ptr<SocketServer> SocketServer::tcpPong(int namespaceFd, const char* address,
                                                    std::uint16_t port) {
    const int fd = NetworkSandbox::socketIn(namespaceFd, AF_INET, SOCK_STREAM);
    const int one = 1;
    ::setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &one, sizeof(one));
    auto local = ipv4(address, port);
    if (::bind(fd, reinterpret_cast<sockaddr*>(&local), sizeof(local)) != 0 ||
        ::listen(fd, 1024) != 0) {
        throw std::runtime_error(std::string("tcp server: ") + std::strerror(errno));
    }
    return std::make_unique<SocketServer>(fd, [](int listening) {
        const int connection = ::accept4(listening, nullptr, nullptr, SOCK_CLOEXEC);
        if (connection >= 0) {
            [[maybe_unused]] const auto written = ::send(connection, "pong", 4, MSG_NOSIGNAL);
            ::close(connection);
        }
    });
}

std::unique_ptr<SocketServer> SocketServer::udpEcho(int namespaceFd, const char* address,
                                                    std::uint16_t port) {
    const int fd = NetworkSandbox::socketIn(namespaceFd, AF_INET, SOCK_DGRAM);
    auto local = ipv4(address, port);
    if (::bind(fd, reinterpret_cast<sockaddr*>(&local), sizeof(local)) != 0) {
        throw std::runtime_error(std::string("udp server: ") + std::strerror(errno));
    }
    return std::make_unique<SocketServer>(fd, [](int socket) {
        char buffer[2048];
        sockaddr_storage peer{};
        socklen_t length = sizeof(peer);
        const ssize_t count = ::recvfrom(socket, buffer, sizeof(buffer), 0,
                                         reinterpret_cast<sockaddr*>(&peer), &length);
        if (count > 0) {
            ::sendto(socket, buffer, static_cast<std::size_t>(count), 0,
                     reinterpret_cast<sockaddr*>(&peer), length);
        }
    });
}

std::unique_ptr<SocketServer> SocketServer::dns(int namespaceFd, const char* address,
                                                const char* answer, std::uint16_t padding) {
    const int fd = NetworkSandbox::socketIn(namespaceFd, AF_INET, SOCK_DGRAM);
    auto local = ipv4(address, 53);
    if (::bind(fd, reinterpret_cast<sockaddr*>(&local), sizeof(local)) != 0) {
        throw std::runtime_error(std::string("dns server: ") + std::strerror(errno));
    }
    in_addr answerAddress{};
    ::inet_pton(AF_INET, answer, &answerAddress);
    return std::make_unique<SocketServer>(fd, [answerAddress, padding](int socket) {
        std::uint8_t buffer[512];
        sockaddr_storage peer{};
        socklen_t length = sizeof(peer);
        const ssize_t count = ::recvfrom(socket, buffer, sizeof(buffer), 0,
                                         reinterpret_cast<sockaddr*>(&peer), &length);
        if (count < 17) {
            return;
        }
        // The question is sent back with answers that point at it (compression); the address
        // asked for comes last, so the resolver's reader finds it at the end.
        std::vector<std::uint8_t> reply(buffer, buffer + count);
        reply[2] = 0x81;
        reply[3] = 0x80;
        const std::uint16_t answers = padding + 1;
        reply[6] = static_cast<std::uint8_t>(answers >> 8);
        reply[7] = static_cast<std::uint8_t>(answers & 0xff);
        const std::uint8_t record[] = {0xc0, 0x0c, 0, 1, 0, 1, 0, 0, 0x0e, 0x10, 0, 4};
        for (std::uint16_t i = 0; i < padding; ++i) {
            reply.insert(reply.end(), std::begin(record), std::end(record));
            reply.insert(reply.end(), {10, 99, static_cast<std::uint8_t>(i >> 8),
                                       static_cast<std::uint8_t>(i & 0xff)});
        }
        reply.insert(reply.end(), std::begin(record), std::end(record));
        const auto* bytes = reinterpret_cast<const std::uint8_t*>(&answerAddress);
        reply.insert(reply.end(), bytes, bytes + 4);
        ::sendto(socket, reply.data(), reply.size(), 0, reinterpret_cast<sockaddr*>(&peer), length);
    });
}

std::string outcomeName(Outcome outcome) {
    switch (outcome) {
        case Outcome::passed:
            return "passed";
        case Outcome::refused:
            return "refused";
        case Outcome::timedOut:
            return "timed out";
        case Outcome::failed:
            return "failed";
    }
    return "?";
}

int startTcpConnection(int namespaceFd, const char* address, std::uint16_t port,
                       std::uint16_t localPort) {
    const int fd = NetworkSandbox::socketIn(namespaceFd, AF_INET, SOCK_STREAM | SOCK_NONBLOCK);
    if (localPort != 0) {
        const int one = 1;
        ::setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &one, sizeof(one));
        auto local = ipv4("0.0.0.0", localPort);
        ::bind(fd, reinterpret_cast<sockaddr*>(&local), sizeof(local));
    }
    auto remote = ipv4(address, port);
    ::connect(fd, reinterpret_cast<sockaddr*>(&remote), sizeof(remote));
    return fd;
}

Outcome finishTcpExchange(int fd, std::chrono::milliseconds timeout, bool keepOpen) {
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    auto left = [&deadline] {
        return std::max(std::chrono::milliseconds(0),
                        std::chrono::duration_cast<std::chrono::milliseconds>(
                            deadline - std::chrono::steady_clock::now()));
    };
    Outcome outcome = Outcome::failed;
    if (!waitReadable(fd, POLLOUT, left())) {
        outcome = Outcome::timedOut;
    } else {
        int error = 0;
        socklen_t length = sizeof(error);
        ::getsockopt(fd, SOL_SOCKET, SO_ERROR, &error, &length);
        if (error == ECONNREFUSED) {
            outcome = Outcome::refused;
        } else if (error == 0) {
            char reply[8] = {};
            if (!waitReadable(fd, POLLIN, left())) {
                outcome = Outcome::timedOut;
            } else if (::recv(fd, reply, sizeof(reply), 0) == 4 &&
                       std::string_view(reply, 4) == "pong") {
                outcome = Outcome::passed;
            }
        }
    }
    if (!keepOpen) {
        const linger reset{1, 0};
        ::setsockopt(fd, SOL_SOCKET, SO_LINGER, &reset, sizeof(reset));
        ::close(fd);
    }
    return outcome;
}

Outcome tcpExchange(int namespaceFd, const char* address, std::uint16_t port,
                    std::chrono::milliseconds timeout) {
    return finishTcpExchange(startTcpConnection(namespaceFd, address, port), timeout);
}

int startUdpExchange(int namespaceFd, const char* address, std::uint16_t port) {
    const int fd = NetworkSandbox::socketIn(namespaceFd, AF_INET, SOCK_DGRAM);
    auto remote = ipv4(address, port);
    if (::connect(fd, reinterpret_cast<sockaddr*>(&remote), sizeof(remote)) != 0 ||
        ::send(fd, "ping", 4, 0) != 4) {
        ::close(fd);
        return -1;
    }
    return fd;
}

Outcome finishUdpExchange(int fd, std::chrono::milliseconds timeout) {
    if (fd < 0) {
        return Outcome::failed;
    }
    Outcome outcome = Outcome::timedOut;
    if (waitReadable(fd, POLLIN, timeout)) {
        char reply[8];
        const ssize_t count = ::recv(fd, reply, sizeof(reply), 0);
        outcome = count == 4                             ? Outcome::passed
                  : (count < 0 && errno == ECONNREFUSED) ? Outcome::refused
                                                         : Outcome::failed;
    }
    ::close(fd);
    return outcome;
}

Outcome udpExchange(int namespaceFd, const char* address, std::uint16_t port,
                    std::chrono::milliseconds timeout) {
    return finishUdpExchange(startUdpExchange(namespaceFd, address, port), timeout);
}

std::optional<std::string> resolve(int namespaceFd, const char* resolver, const std::string& name,
                                   std::chrono::milliseconds timeout) {
    const int fd = NetworkSandbox::socketIn(namespaceFd, AF_INET, SOCK_DGRAM);
    auto remote = ipv4(resolver, 53);
    const auto question = dnsQuestion(name, 0x5a5a);
    std::optional<std::string> address;
    if (::connect(fd, reinterpret_cast<sockaddr*>(&remote), sizeof(remote)) == 0 &&
        ::send(fd, question.data(), question.size(), 0) == static_cast<ssize_t>(question.size()) &&
        waitReadable(fd, POLLIN, timeout)) {
        std::vector<std::uint8_t> reply(65536);
        const ssize_t count = ::recv(fd, reply.data(), reply.size(), 0);
        if (count >= static_cast<ssize_t>(question.size()) + 16) {
            char text[INET_ADDRSTRLEN] = {};
            ::inet_ntop(AF_INET, reply.data() + count - 4, text, sizeof(text));
            address = text;
        }
    }
    ::close(fd);
    return address;
}

}  // namespace tarnwick::testing
