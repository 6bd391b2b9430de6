#pragma once

#include "Foundation/FileDescriptor.h"

#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <sys/types.h>
#include <thread>
#include <utility>
#include <vector>

namespace tarnwick::testing {

// Two network namespaces of the test's own, "client" (10.200.1.1) and "server" (10.200.1.2),
// joined by a veth pair. They have no names: they vanish with the last descriptor or process in
// them, so a test that dies halfway leaves no namespace, interface or rule behind, and tests
// running side by side never see each other's. Needs root.
class NetworkSandbox {
public:
    static constexpr const char* kClientAddress = "10.200.1.1";
    static constexpr const char* kServerAddress = "10.200.1.2";

    // Throws std::runtime_error when the namespaces cannot be made.
    NetworkSandbox();
    ~NetworkSandbox();
    NetworkSandbox(const NetworkSandbox&) = delete;
    NetworkSandbox& operator=(const NetworkSandbox&) = delete;

    int clientNamespace() const { return m_client; }
    int serverNamespace() const { return m_server; }

    // Gives the server side one more address of the same /24, for a second server. Throws
    // std::runtime_error when it cannot be added.
    void addServerAddress(const std::string& address);

    // A socket made inside a namespace (the calling thread's own namespace is left as it was).
    static int socketIn(int namespaceFd, int domain, int type);

    struct CommandResult {
        int status = -1;
        std::string output;
    };
    // Runs a program inside a namespace and collects its output.
    static CommandResult runIn(int namespaceFd, const std::vector<std::string>& arguments);

private:
    int m_client = -1;
    int m_server = -1;
};

// A child process whose standard output is read line by line. Killed when dropped.
class ChildProcess {
public:
    struct Options {
        int networkNamespace = -1;
        // Runs in the mount namespace of this process (0: the caller's).
        pid_t mountNamespaceOf = 0;
        // A private mount namespace with fresh, empty /run, /var/lib and /usr/local/lib (where the
        // system-extension helper installs).
        bool privateRunFolders = false;
        // With `privateRunFolders`: each file (first) bound over a path in those folders (second),
        // whose folders are made.
        std::vector<std::pair<std::string, std::string>> boundFiles;
        uid_t user = 0;
        std::vector<std::string> environment;  // added to the caller's
        bool standardInput = false;            // a pipe the caller can close; else none
    };

    ChildProcess(const std::vector<std::string>& arguments, const Options& options);
    ~ChildProcess();
    ChildProcess(const ChildProcess&) = delete;
    ChildProcess& operator=(const ChildProcess&) = delete;

    pid_t pid() const { return m_pid; }
    bool running() const { return m_pid > 0; }

    // Closes the child's standard input (with `standardInput`): it reads the end.
    void closeInput();
    // The next line of output; nothing when none comes in time or the output ended.
    std::optional<std::string> readLine(std::chrono::milliseconds timeout);
    // The next line that starts with `prefix`, skipping others.
    std::optional<std::string> readLineStartingWith(const std::string& prefix,
                                                    std::chrono::milliseconds timeout);
    // Sends `signal` (none for 0, to let the process end by itself) and waits for the end; the
    // exit status (128 + signal when killed), or nothing when it did not end in time.
    std::optional<int> stop(int signal, std::chrono::milliseconds timeout);

private:
    pid_t m_pid = -1;
    FileDescriptor m_pidFd;
    FileDescriptor m_output;
    FileDescriptor m_input;
    std::string m_buffer;
};

// Waits until `condition` holds or the time is up; true when it held.
bool waitUntil(const std::function<bool()>& condition, std::chrono::milliseconds timeout);

// Serves a socket on a thread until dropped: `onReadable` runs whenever the socket can be read.
class SocketServer {
public:
    SocketServer(int fd, std::function<void(int)> onReadable);
    ~SocketServer();
    SocketServer(const SocketServer&) = delete;
    SocketServer& operator=(const SocketServer&) = delete;

    // A TCP server that writes "pong" to each connection and closes it.
    static std::unique_ptr<SocketServer> tcpPong(int namespaceFd, const char* address,
                                                 std::uint16_t port);
    // A UDP server that sends every datagram back.
    static std::unique_ptr<SocketServer> udpEcho(int namespaceFd, const char* address,
                                                 std::uint16_t port);
    // A DNS server on port 53 that answers every A question with `answer`, after `padding` other
    // addresses (10.99.x.y) for the same name.
    static std::unique_ptr<SocketServer> dns(int namespaceFd, const char* address,
                                             const char* answer, std::uint16_t padding = 0);

private:
    int m_fd = -1;
    int m_stop = -1;
    std::thread m_thread;
};

enum class Outcome { passed, refused, timedOut, failed };
std::string outcomeName(Outcome outcome);

// Connects over TCP from a namespace and reads the server's "pong".
Outcome tcpExchange(int namespaceFd, const char* address, std::uint16_t port,
                    std::chrono::milliseconds timeout);
// Starts a TCP connection and returns its socket without waiting (for flows held on purpose);
// from `localPort` when given.
int startTcpConnection(int namespaceFd, const char* address, std::uint16_t port,
                       std::uint16_t localPort = 0);
// Waits for a started connection to finish and reads the "pong". With `keepOpen` the socket is
// left open, else it is closed with a reset (no TIME_WAIT, so its port is free again at once).
Outcome finishTcpExchange(int fd, std::chrono::milliseconds timeout, bool keepOpen = false);
// Sends a datagram from a namespace and returns the socket without waiting for the echo.
int startUdpExchange(int namespaceFd, const char* address, std::uint16_t port);
// Waits for the echo of a started exchange, and closes the socket.
Outcome finishUdpExchange(int fd, std::chrono::milliseconds timeout);
// Sends a datagram from a namespace and waits for the echo.
Outcome udpExchange(int namespaceFd, const char* address, std::uint16_t port,
                    std::chrono::milliseconds timeout);
// Asks the resolver at `resolver` for the A record of `name`; the address, or nothing.
std::optional<std::string> resolve(int namespaceFd, const char* resolver, const std::string& name,
                                   std::chrono::milliseconds timeout);

}  // namespace tarnwick::testing
