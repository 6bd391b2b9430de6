// A local user's files against the root extension: a program of theirs in a bundle whose
// Info.plist is a FIFO, or a link to a terminal they hold. The extension runs as it does as a
// service, leading a session of its own without a terminal. Needs root; skipped elsewhere.

#include "ExtensionProcess.h"
#include "FilterExtension/IPCConnection.h"
#include "Foundation/Bundle.h"
#include "NetworkSandbox.h"
#include "support/TemporaryDirectory.h"

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <stdlib.h>
#include <unistd.h>

using namespace std::chrono_literals;

namespace tarnwick::testing {
namespace {

constexpr uid_t kDesktopUser = 4242;
constexpr uid_t kLocalUser = 4343;
constexpr std::uint16_t kTcpPort = 7000;
constexpr auto kWait = 10s;
const char* const kServer = NetworkSandbox::kServerAddress;

enum class InfoPlist { fifo, terminalLink };

std::string PrintToString(InfoPlist kind) {
    return kind == InfoPlist::fifo ? "FIFO" : "LinkToATerminal";
}

// The fields of /proc/PID/stat after the command name: state is [0], tty_nr is [4].
std::vector<std::string> processStat(pid_t pid) {
    std::ifstream file("/proc/" + std::to_string(pid) + "/stat");
    std::string text((std::istreambuf_iterator<char>(file)), std::istreambuf_iterator<char>());
    std::vector<std::string> fields;
    std::istringstream rest(text.substr(text.rfind(')') + 2));
    for (std::string field; rest >> field;) {
        fields.push_back(field);
    }
    return fields;
}

class UserFiles : public ::testing::TestWithParam<InfoPlist> {
protected:
    void SetUp() override {
        if (::geteuid() != 0) {
            GTEST_SKIP() << "needs root";
        }
        m_sandbox = std::make_unique<NetworkSandbox>();
        m_server = SocketServer::tcpPong(m_sandbox->serverNamespace(), kServer, kTcpPort);
        m_service = IPCConnection::machServiceName(Bundle(TARNWICK_EXTENSION_BUNDLE));
        m_master = ::posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
        ASSERT_GE(m_master, 0);
        ASSERT_EQ(::grantpt(m_master), 0);
        ASSERT_EQ(::unlockpt(m_master), 0);
        std::filesystem::permissions(m_folder.path(), std::filesystem::perms(0755));
        std::filesystem::create_directory(m_folder / "home");
        ASSERT_EQ(::chown((m_folder / "home").c_str(), kLocalUser, kLocalUser), 0);
    }

    void TearDown() override {
        if (m_master >= 0) {
            ::close(m_master);
        }
    }

    int client() const { return m_sandbox->clientNamespace(); }

    // As a service runs it: the leader of a session without a terminal.
    void startExtension() {
        m_extension = tarnwick::testing::startExtension(
            TARNWICK_FILTER_EXTENSION, client(), m_service, kDesktopUser,
            tarnwick::testing::kStartWait, {"/usr/bin/setsid"});
        ASSERT_TRUE(m_extension) << "the extension did not start listening";
        ASSERT_EQ(processStat(m_extension->pid()).at(4), "0") << "started with a terminal";
        ASSERT_EQ(setFilterEnabled(*m_extension, true, kWait), std::nullopt);
    }

    std::unique_ptr<ChildProcess> run(uid_t user, std::vector<std::string> arguments,
                                      bool inExtensionMounts = false) {
        ChildProcess::Options options;
        options.networkNamespace = client();
        options.user = user;
        options.mountNamespaceOf = inExtensionMounts ? m_extension->pid() : 0;
        options.environment = {"HOME=" + (m_folder / "home").string()};
        return std::make_unique<ChildProcess>(arguments, options);
    }

    std::unique_ptr<NetworkSandbox> m_sandbox;
    std::unique_ptr<SocketServer> m_server;
    std::unique_ptr<ChildProcess> m_extension;
    std::string m_service;
    TemporaryDirectory m_folder;
    int m_master = -1;
};

TEST_P(UserFiles, ABundlesInfoPlistNeitherStallsFlowsNorGivesTheExtensionATerminal) {
    startExtension();
    auto application =
        run(kDesktopUser, {TARNWICK_TEST_PEER, "--service", m_service, "--answer", "deny"}, true);
    ASSERT_EQ(application->readLine(kWait), "registered true");

    // The user copies a program that connects into a bundle of their own.
    const std::string terminal = ::ptsname(m_master);
    const std::string plist = GetParam() == InfoPlist::fifo
                                  ? "mkfifo \"$HOME/X.app/Contents/Info.plist\""
                                  : "ln -s " + terminal + " \"$HOME/X.app/Contents/Info.plist\"";
    auto setup = run(kLocalUser, {"/bin/sh", "-c",
                                  "mkdir -p \"$HOME/X.app/Contents/MacOS\" && cp /bin/bash "
                                  "\"$HOME/X.app/Contents/MacOS/x\" && " +
                                      plist});
    ASSERT_EQ(setup->stop(0, kWait), 0);
    const auto program = m_folder / "home/X.app/Contents/MacOS/x";
    auto connecting =
        run(kLocalUser, {program.string(), "-c",
                         "read -r line < /dev/tcp/" + std::string(kServer) + "/" +
                             std::to_string(kTcpPort) + " && echo passed || echo refused"});

    // Its connection is asked about, by the program's path, and so is everyone else's.
    const auto prompt = application->readLineStartingWith("prompt ", kWait);
    EXPECT_TRUE(prompt) << "the user's connection was never asked about";
    if (prompt) {
        EXPECT_EQ(nlohmann::json::parse(prompt->substr(7))["bundleId"], program.string());
    }
    EXPECT_EQ(connecting->readLine(kWait), "refused");
    EXPECT_EQ(outcomeName(tcpExchange(client(), kServer, kTcpPort, kWait)), "refused");
    EXPECT_EQ(processStat(m_extension->pid()).at(4), "0") << "the extension took a terminal";

    // Interrupt and quit typed on the user's terminal reach nobody here.
    ASSERT_EQ(::write(m_master, "\x03\x1c", 2), 2);
    EXPECT_EQ(outcomeName(tcpExchange(client(), kServer, kTcpPort, kWait)), "refused");
    EXPECT_NE(processStat(m_extension->pid()).at(0), "Z") << "the extension was stopped";
}

INSTANTIATE_TEST_SUITE_P(Kinds, UserFiles,
                         ::testing::Values(InfoPlist::fifo, InfoPlist::terminalLink),
                         [](const ::testing::TestParamInfo<InfoPlist>& kind) {
                             return PrintToString(kind.param);
                         });

}  // namespace
}  // namespace tarnwick::testing
