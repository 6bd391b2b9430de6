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
#include <string>
#include <sys/socket.h>
#include <sys/un.h>
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

// Connections that hold an unfinished 1 MiB frame and never register.
void sitIdle(const std::string& service, int count) {
    const auto path = xpcSocketPath(service);
    int opened = 0;
    for (int i = 0; i < count; ++i) {
        const int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
        sockaddr_un address{};
        address.sun_family = AF_UNIX;
        std::strncpy(address.sun_path, path.c_str(), sizeof(address.sun_path) - 1);
        if (::connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof(address)) != 0) {
            ::close(fd);
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

}  // namespace

int runTestPeer(int argc, char** argv) {
    std::string service;
    std::string answer = "allow";
    std::string connect;
    bool quiet = false;
    bool enable = false;
    int idle = 0;
    for (int i = 1; i < argc; ++i) {
        const std::string option = argv[i];
        if (option == "--quiet" || option == "--enable") {
            (option == "--quiet" ? quiet : enable) = true;
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
