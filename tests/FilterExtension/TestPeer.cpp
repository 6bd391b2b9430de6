#include "TestPeer.h"

#include "FilterLink/AppCommunication.h"
#include "FilterLink/FilterConfiguration.h"
#include "FilterLink/ProviderCommunication.h"
#include "NetworkExtension/Manager/FilterManagerClient.h"
#include "XPC/XPCConnection.h"
#include "XPC/XPCServicePath.h"

#include <nlohmann/json.hpp>

#include <arpa/inet.h>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <future>
#include <mutex>
#include <netinet/in.h>
#include <poll.h>
#include <string>
#include <sys/socket.h>
#include <sys/un.h>
#include <thread>
#include <unistd.h>
#include <vector>

namespace tarnwick::testing {

namespace {

std::mutex g_outputMutex;

void say(const std::string& line) {
    std::lock_guard lock(g_outputMutex);
    std::fprintf(stdout, "%s\n", line.c_str());
    std::fflush(stdout);
}

class Answerer final : public AppCommunication {
public:
    Answerer(std::string answer, bool quiet) : m_answer(std::move(answer)), m_quiet(quiet) {}

    void promptUser(const FlowInfo& aboutFlow, ResponseHandler responseHandler) override {
        if (!m_quiet) {
            say("prompt " + nlohmann::json(aboutFlow).dump());
        }
        if (m_answer == "hold") {
            std::lock_guard lock(m_mutex);
            m_held.push_back(std::move(responseHandler));
            return;
        }
        responseHandler(m_answer == "allow");
    }

private:
    const std::string m_answer;
    const bool m_quiet;
    std::mutex m_mutex;
    std::vector<ResponseHandler> m_held;  // never answered
};

void connectTo(const std::string& target) {
    const auto colon = target.rfind(':');
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(static_cast<std::uint16_t>(std::atoi(target.c_str() + colon + 1)));
    ::inet_pton(AF_INET, target.substr(0, colon).c_str(), &address.sin_addr);
    const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    // A connection that waited on its own verdict would not finish before this gives up.
    timeval timeout{10, 0};
    ::setsockopt(fd, SOL_SOCKET, SO_SNDTIMEO, &timeout, sizeof(timeout));
    if (::connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof(address)) == 0) {
        say("connected");
    } else {
        say("connect-failed " + std::to_string(errno));
    }
    ::close(fd);
}

int connectToService(const std::string& service) {
    const auto path = xpcSocketPath(service);
    const int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    std::strncpy(address.sun_path, path.c_str(), sizeof(address.sun_path) - 1);
    if (::connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof(address)) != 0) {
        ::close(fd);
        return -1;
    }
    return fd;
}

// Connections that hold an unfinished 1 MiB frame and never register.
void sitIdle(const std::string& service, int count) {
    int opened = 0;
    for (int i = 0; i < count; ++i) {
        const int fd = connectToService(service);
        if (fd < 0) {
            continue;
        }
        const std::uint8_t start[8] = {0x00, 0x10, 0x00, 0x00, '{', '"', 'a', '"'};
        (void)!::send(fd, start, sizeof(start), MSG_NOSIGNAL);
        ++opened;  // left open on purpose
    }
    say("idle " + std::to_string(opened));
    for (;;) {
        ::pause();
    }
}

// Connections that send nothing at all and are left open.
void sitSilent(const std::string& service, int count) {
    int opened = 0;
    for (int i = 0; i < count; ++i) {
        opened += connectToService(service) >= 0 ? 1 : 0;  // left open on purpose
    }
    say("silent " + std::to_string(opened));
    for (;;) {
        ::pause();
    }
}

// Keeps `count` connections open, each one the service closes opened again at once.
void flood(const std::string& service, int count) {
    std::vector<pollfd> open;
    for (int i = 0; i < count; ++i) {
        open.push_back({connectToService(service), POLLIN, 0});
    }
    say("flooding");
    for (;;) {
        if (::poll(open.data(), open.size(), 1000) < 0) {
            continue;
        }
        for (auto& entry : open) {
            if (entry.fd < 0 || entry.revents != 0) {
                if (entry.fd >= 0) {
                    ::close(entry.fd);
                }
                entry.fd = connectToService(service);
                entry.revents = 0;
            }
        }
    }
}

}  // namespace

int runTestPeer(int argc, char** argv) {
    std::string service;
    std::string answer = "allow";
    std::string connect;
    bool quiet = false;
    bool enable = false;
    bool unregistered = false;
    int idle = 0;
    int silent = 0;
    int flooding = 0;
    for (int i = 1; i < argc; ++i) {
        const std::string option = argv[i];
        if (option == "--quiet" || option == "--enable" || option == "--unregistered") {
            (option == "--quiet" ? quiet : option == "--enable" ? enable : unregistered) = true;
            continue;
        }
        if (i + 1 >= argc) {
            break;
        }
        if (option == "--service") {
            service = argv[i + 1];
        } else if (option == "--answer") {
            answer = argv[i + 1];
        } else if (option == "--connect") {
            connect = argv[i + 1];
        } else if (option == "--idle") {
            idle = std::atoi(argv[i + 1]);
        } else if (option == "--silent") {
            silent = std::atoi(argv[i + 1]);
        } else if (option == "--flood") {
            flooding = std::atoi(argv[i + 1]);
        }
        ++i;
    }
    if (enable) {
        // Switches the filter on as the application's filter manager does.
        auto manager = FilterManagerClient::create();
        FilterConfiguration configuration;
        configuration.enabled = true;
        configuration.providerConfiguration = {true, false};
        std::promise<std::optional<std::string>> saved;
        manager->saveToPreferences(
            configuration,
            [&saved](const std::optional<std::string>& error) { saved.set_value(error); });
        if (auto error = saved.get_future().get()) {
            say("error " + *error);
            return 3;
        }
        say("enabled");
    }
    if (idle > 0) {
        sitIdle(service, idle);
    }
    if (silent > 0) {
        sitSilent(service, silent);
    }
    if (flooding > 0) {
        flood(service, flooding);
    }
    auto connection = XPCConnection::create(service);
    connection->setExportedInterface(AppCommunication::interface());
    connection->setExportedObject(
        AppCommunication::exportedObject(std::make_shared<Answerer>(answer, quiet)));
    connection->setRemoteObjectInterface(ProviderCommunication::interface());
    connection->setInvalidationHandler([] {
        say("error invalidated");
        ::_exit(3);
    });
    connection->setInterruptionHandler([] {
        say("error interrupted");
        ::_exit(3);
    });
    connection->resume();
    if (unregistered) {
        // Connected, and given time to be accepted, never registered: its own connections are
        // like anyone's.
        std::this_thread::sleep_for(std::chrono::milliseconds(300));
        connectTo(connect);
        for (;;) {
            ::pause();
        }
    }
    auto provider = ProviderCommunication::remoteObject(
        connection->remoteObjectProxyWithErrorHandler([](const XPCError& error) {
            say("error " + error.localizedDescription);
            ::_exit(3);
        }));
    provider->registerApp([connect](bool registered) {
        say(std::string("registered ") + (registered ? "true" : "false"));
        if (!connect.empty()) {
            connectTo(connect);
        }
    });
    for (;;) {
        ::pause();
    }
}

}  // namespace tarnwick::testing
