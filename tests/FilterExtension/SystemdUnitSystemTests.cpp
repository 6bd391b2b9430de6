// The extension as systemd runs it: the real helper, asked through pkexec by the desktop user,
// installs the real extension and writes its unit; a stand-in systemctl starts the unit's
// ExecStart with only the unit's Environment= settings (env -i), as systemd does. All of it in a
// mount namespace of the test's own (fresh /run, /var/lib, /usr/local/lib and unit folder) and
// the test's network namespace. Needs root; skipped elsewhere.

#include "ExtensionSystemTest.h"
#include "Foundation/Process.h"
#include "XPC/XPCPeerPolicy.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <sys/stat.h>

namespace tarnwick::testing {
namespace {

namespace fs = std::filesystem;

constexpr std::uint16_t kTcpPort = 7000;
const char* const kServer = NetworkSandbox::kServerAddress;
const fs::path kUnitFolder = "/etc/systemd/system";
const fs::path kStubFolder = "/run/test-systemd";

// systemctl as far as the helper uses it. "enable --now" and "start" run the unit's ExecStart
// with a clean environment holding only the unit's Environment= settings, in a session of its
// own, and remember its process for "show"; "stop" and "disable" end it.
// clang-format off
constexpr const char* kSystemctl = R"SH(#!/bin/sh
units=/etc/systemd/system
state=/run/test-systemd
unit=""
for argument in "$@"; do unit="$argument"; done
case "$1" in
daemon-reload|reset-failed) ;;
enable|start)
    settings=$(sed -n 's/^Environment=//p' "$units/$unit")
    program=$(sed -n 's/^ExecStart=//p' "$units/$unit")
    setsid env -i $settings $program </dev/null >"$state/$unit.log" 2>&1 &
    echo $! >"$state/$unit.pid" ;;
show) cat "$state/$unit.pid" 2>/dev/null || echo 0 ;;
stop|disable)
    [ -f "$state/$unit.pid" ] && kill "$(cat "$state/$unit.pid")"
    rm -f "$state/$unit.pid" ;;
*) echo "unexpected systemctl $*" >&2; exit 1 ;;
esac
)SH";
// clang-format on

class ExtensionUnderSystemd : public ExtensionSystemTest {
protected:
    void SetUp() override {
        ExtensionSystemTest::SetUp();
        if (IsSkipped()) {
            return;
        }
        m_server = SocketServer::tcpPong(m_sandbox->serverNamespace(), kServer, kTcpPort);
        ChildProcess::Options options;
        options.networkNamespace = client();
        options.privateRunFolders = true;
        m_namespace = std::make_unique<ChildProcess>(
            std::vector<std::string>{"/bin/sleep", "infinity"}, options);
        // The namespace is ready once the holder runs its own program.
        const auto holder = "/proc/" + std::to_string(m_namespace->pid()) + "/exe";
        ASSERT_TRUE(waitUntil(
            [&] {
                std::error_code error;
                return fs::read_symlink(holder, error).filename() == "sleep";
            },
            kWait));
        // The unit goes to a folder of the namespace's own, never to the machine's.
        ASSERT_EQ(
            run({"/bin/mount", "-t", "tmpfs", "-o", "mode=0755", "tmpfs", kUnitFolder.string()})
                .exitStatus,
            0);
        // What the helper takes for a machine that systemd runs.
        fs::create_directories(inside("/run/systemd/system"));
        fs::create_directories(inside(kStubFolder / "bin"));
        std::ofstream(inside(kStubFolder / "bin/systemctl")) << kSystemctl;
        fs::permissions(inside(kStubFolder / "bin/systemctl"), fs::perms(0755));
    }

    void TearDown() override {
        if (m_namespace) {
            // The extension that the stand-in started runs in a session of its own.
            run({"/bin/sh", "-c",
                 "kill -9 $(cat " + (kStubFolder / "*.pid").string() + ") 2>/dev/null; true"});
        }
    }

    // A path of the namespace, as this process sees it.
    fs::path inside(const fs::path& path) const {
        return fs::path("/proc") / std::to_string(m_namespace ? m_namespace->pid() : ::getpid()) /
               "root" / path.relative_path();
    }

    ProcessOutcome run(const std::vector<std::string>& arguments,
                       const std::vector<std::string>& environment = {}) const {
        ProcessRequest request;
        request.arguments = {"/usr/bin/nsenter", "--target", std::to_string(m_namespace->pid()),
                             "--mount",          "--net",    "--",
                             "/usr/bin/env"};
        request.arguments.insert(request.arguments.end(), environment.begin(), environment.end());
        request.arguments.insert(request.arguments.end(), arguments.begin(), arguments.end());
        request.timeLimit = std::chrono::seconds(60);
        auto outcome = Process::run(request);
        return outcome ? *outcome : ProcessOutcome{-1, "", outcome.error().message, false};
    }

    // The helper as pkexec runs it for the desktop user: PKEXEC_UID says who asked.
    ProcessOutcome runHelper(const std::vector<std::string>& arguments) const {
        std::vector<std::string> command{TARNWICK_SYSTEM_EXTENSION_HELPER};
        command.insert(command.end(), arguments.begin(), arguments.end());
        return run(command, {"PATH=" + (kStubFolder / "bin").string() + ":/usr/sbin:/usr/bin",
                             "PKEXEC_UID=" + std::to_string(kDesktopUser)});
    }

    std::string unitText() const {
        const auto unitName = fs::path(TARNWICK_EXTENSION_BUNDLE).stem().string() + ".service";
        std::ifstream in(inside(kUnitFolder / unitName));
        std::stringstream text;
        text << in.rdbuf();
        return text.str();
    }

    // The extension that the helper installs lets only the installed application register, and
    // the unit gives it no way to name another: the peer is copied to where the package puts the
    // application, in the namespace's own /usr/local/lib.
    std::unique_ptr<ChildProcess> startPeerInside(const std::string& answer) const {
        const fs::path application = TARNWICK_INSTALLED_APPLICATION;
        fs::create_directories(inside(application.parent_path()));
        fs::copy_file(TARNWICK_TEST_PEER, inside(application),
                      fs::copy_options::overwrite_existing);
        fs::permissions(inside(application), fs::perms(0755));
        ChildProcess::Options options;
        options.networkNamespace = client();
        options.mountNamespaceOf = m_namespace->pid();
        options.user = kDesktopUser;
        return std::make_unique<ChildProcess>(
            std::vector<std::string>{application.string(), "--service", m_service, "--answer",
                                     answer},
            options);
    }

    std::unique_ptr<SocketServer> m_server;
    std::unique_ptr<ChildProcess> m_namespace;
};

TEST_F(ExtensionUnderSystemd, TheDesktopUsersApplicationRegistersAndDecides) {
    const fs::path bundle = TARNWICK_EXTENSION_BUNDLE;
    const auto activated = runHelper({"activate", bundle.string()});
    ASSERT_EQ(activated.exitStatus, 0) << activated.standardError;

    const std::string unit = unitText();
    EXPECT_NE(
        unit.find("\nEnvironment=TARNWICK_DESKTOP_UID=" + std::to_string(kDesktopUser) + "\n"),
        std::string::npos)
        << unit;
    struct stat socket {};
    ASSERT_EQ(::stat(inside(fs::path("/run/tarnwick") / m_service).c_str(), &socket), 0);
    EXPECT_EQ(socket.st_uid, kDesktopUser) << "the service belongs to the desktop user";

    ASSERT_EQ(testing::setFilterEnabled(*m_namespace, true, kWait), std::nullopt);
    auto application = startPeerInside("deny");
    ASSERT_EQ(application->readLine(kWait), "registered true");
    EXPECT_EQ(outcomeName(tcpExchange(client(), kServer, kTcpPort, kWait)), "refused");
    EXPECT_TRUE(application->readLineStartingWith("prompt ", kWait)) << "the application decided";
}

TEST_F(ExtensionUnderSystemd, WithoutADesktopUserTheExtensionRefusesToStartAndSaysWhy) {
    // What an older helper wrote: a unit without the desktop user. Started with nothing else,
    // the extension does not serve root alone in silence.
    const auto started = run({"-i", TARNWICK_FILTER_EXTENSION});
    EXPECT_EQ(started.exitStatus, XPCPeerPolicy::kNoDesktopUserExitStatus);
    EXPECT_NE(started.standardError.find("nothing names the desktop user"), std::string::npos)
        << started.standardError;
    EXPECT_FALSE(fs::exists(inside(fs::path("/run/tarnwick") / m_service)));
}

}  // namespace
}  // namespace tarnwick::testing
