#include "Dispatch/RunLoop.h"
#include "FilterExtension/FilterDataProvider.h"
#include "LinkedApp.h"
#include "NetworkExtension/Provider/AuditToken.h"
#include "NetworkExtension/Provider/NEFilterSocketFlow.h"
#include "NetworkExtension/Provider/NWHostEndpoint.h"
#include "support/TemporaryDirectory.h"

#include <gtest/gtest.h>

#include <csignal>
#include <filesystem>
#include <mutex>
#include <sys/wait.h>
#include <unistd.h>

using namespace std::chrono_literals;

namespace tarnwick::testing {
namespace {

constexpr auto kWait = 10s;

class RecordingResumer final : public NEFilterFlowResumer {
public:
    void resumeFlow(std::uint64_t flowIdentifier, const NEFilterNewFlowVerdict& verdict) override {
        std::lock_guard lock(m_mutex);
        m_resumed.emplace_back(flowIdentifier, verdict.kind());
    }
    std::vector<std::pair<std::uint64_t, NEFilterNewFlowVerdict::Kind>> resumed() const {
        std::lock_guard lock(m_mutex);
        return m_resumed;
    }

private:
    mutable std::mutex m_mutex;
    std::vector<std::pair<std::uint64_t, NEFilterNewFlowVerdict::Kind>> m_resumed;
};

std::shared_ptr<NEFilterSocketFlow> socketFlow(std::uint64_t identifier = 1) {
    auto flow = std::make_shared<NEFilterSocketFlow>(identifier);
    flow->remoteEndpoint = std::make_shared<NWHostEndpoint>("10.200.7.7", "443");
    flow->localEndpoint = std::make_shared<NWHostEndpoint>("10.200.7.1", "50123");
    return flow;
}

// A process started from an executable inside "Fake.app", with an Info.plist that names it.
class BundledProcess {
public:
    explicit BundledProcess(const std::filesystem::path& folder) {
        const auto contents = folder / "Fake.app" / "Contents";
        std::filesystem::create_directories(contents / "MacOS");
        writeFile(contents / "Info.plist",
                  "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<plist version=\"1.0\"><dict>"
                  "<key>CFBundleIdentifier</key><string>com.example.fake</string>"
                  "</dict></plist>\n");
        const auto executable = contents / "MacOS" / "fake";
        std::filesystem::copy_file("/bin/sleep", executable);
        std::filesystem::permissions(executable, std::filesystem::perms::owner_all);
        m_pid = ::fork();
        if (m_pid == 0) {
            ::execl(executable.c_str(), "fake", "300", static_cast<char*>(nullptr));
            ::_exit(127);
        }
    }
    ~BundledProcess() {
        ::kill(m_pid, SIGKILL);
        ::waitpid(m_pid, nullptr, 0);
    }
    pid_t pid() const { return m_pid; }

private:
    pid_t m_pid = -1;
};

TEST(FilterDataProvider, SourceIdentifierTable) {
    const auto ownToken = AuditToken::forProcess(::getpid())->encode();
    auto staleToken = *AuditToken::forProcess(::getpid());
    staleToken.startTime += 1;  // the pid now names another process
    const std::string self = std::filesystem::read_symlink("/proc/self/exe").string();

    struct Row {
        const char* name;
        std::optional<std::string> sourceAppIdentifier;
        std::optional<Value::Data> auditToken;
        std::string bundleId;
    };
    const Row rows[] = {
        {"team prefix dropped", "ABCDE12345.com.example.app", std::nullopt, "com.example.app"},
        {"three parts keep the last two", "a.b.c", std::nullopt, "b.c"},
        {"no dot gives empty, not the default", "nodots", std::nullopt, ""},
        {"empty identifier", "", std::nullopt, ""},
        {"identifier wins over the token", "T.com.example.app", ownToken, "com.example.app"},
        {"nothing at all", std::nullopt, std::nullopt, "no bundle id"},
        {"token of an unbundled process gives its executable", std::nullopt, ownToken, self},
        {"token of a process that is gone", std::nullopt, staleToken.encode(), "no bundle id"},
        {"malformed token", std::nullopt, Value::Data{1, 2, 3}, "no bundle id"},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        auto flow = socketFlow();
        flow->sourceAppIdentifier = row.sourceAppIdentifier;
        flow->sourceAppAuditToken = row.auditToken;
        const auto info = FilterDataProvider::flowInfo(*flow);
        ASSERT_TRUE(info);
        EXPECT_EQ(info->at("bundleId"), row.bundleId);
    }
}

TEST(FilterDataProvider, TokenOfABundledProcessGivesTheBundleIdentifier) {
    TemporaryDirectory folder;
    BundledProcess process(folder.path());
    std::optional<std::string> identifier;
    // The child runs the bundled executable once exec has happened.
    ASSERT_TRUE(RunLoop::main().runUntil(
        [&] {
            auto token = AuditToken::forProcess(process.pid());
            identifier =
                token ? FilterDataProvider::bundleIdentifier(token->encode()) : std::nullopt;
            return identifier == "com.example.fake";
        },
        kWait))
        << identifier.value_or("(none)");
}

TEST(FilterDataProvider, FlowInfoHasExactlyTheFiveKeys) {
    auto flow = socketFlow();
    flow->sourceAppIdentifier = "TEAM.com.example.browser";
    flow->url = "https://example.test/page";
    flow->remoteHostname = "example.test";
    const IPCConnection::FlowInfo full{{"localPort", "8080"},
                                       {"remoteAddress", "10.200.7.7"},
                                       {"bundleId", "com.example.browser"},
                                       {"url", "https://example.test/page"},
                                       {"aza", "example.test"}};
    EXPECT_EQ(FilterDataProvider::flowInfo(*flow), full);

    flow->url.reset();
    flow->remoteHostname.reset();
    const IPCConnection::FlowInfo bare{{"localPort", "8080"},
                                       {"remoteAddress", "10.200.7.7"},
                                       {"bundleId", "com.example.browser"},
                                       {"url", ""},
                                       {"aza", ""}};
    EXPECT_EQ(FilterDataProvider::flowInfo(*flow), bare);
}

TEST(FilterDataProvider, FlowsThatAreNotSocketFlowsToAHostAreAllowedUnasked) {
    auto ipc = makeIPCConnection();
    LinkedApp app(*ipc, LinkedApp::Answer::deny);
    auto provider = std::make_shared<FilterDataProvider>(ipc);
    auto noEndpoint = socketFlow();
    noEndpoint->remoteEndpoint.reset();
    for (const auto& flow :
         {std::make_shared<NEFilterFlow>(1), std::static_pointer_cast<NEFilterFlow>(noEndpoint)}) {
        EXPECT_EQ(provider->handleNewFlow(flow), NEFilterNewFlowVerdict::allowVerdict());
    }
    RunLoop::main().runFor(50ms);
    EXPECT_TRUE(app.recorder().prompts().empty());
}

TEST(FilterDataProvider, WithoutApplicationEveryFlowIsAllowedAtOnce) {
    auto provider = std::make_shared<FilterDataProvider>(makeIPCConnection());
    auto resumer = std::make_shared<RecordingResumer>();
    provider->setFlowResumer(resumer);
    EXPECT_EQ(provider->handleNewFlow(socketFlow()), NEFilterNewFlowVerdict::allowVerdict());
    RunLoop::main().runFor(50ms);
    EXPECT_TRUE(resumer->resumed().empty());
}

TEST(FilterDataProvider, PausedFlowIsResumedWithTheApplicationsAnswer) {
    using Kind = NEFilterNewFlowVerdict::Kind;
    for (const auto& [answer, expected] : {std::pair{LinkedApp::Answer::deny, Kind::drop},
                                           std::pair{LinkedApp::Answer::allow, Kind::allow}}) {
        auto ipc = makeIPCConnection();
        LinkedApp app(*ipc, answer);
        auto provider = std::make_shared<FilterDataProvider>(ipc);
        auto resumer = std::make_shared<RecordingResumer>();
        provider->setFlowResumer(resumer);
        EXPECT_EQ(provider->handleNewFlow(socketFlow(7)), NEFilterNewFlowVerdict::pauseVerdict());
        ASSERT_TRUE(RunLoop::main().runUntil([&] { return !resumer->resumed().empty(); }, kWait));
        EXPECT_EQ(resumer->resumed(), (std::vector{std::pair{std::uint64_t{7}, expected}}));
    }
}

TEST(FilterDataProvider, FlowIsAllowedWhenTheApplicationCannotBeReached) {
    auto ipc = makeIPCConnection();
    LinkedApp app(*ipc, LinkedApp::Answer::hold);
    auto provider = std::make_shared<FilterDataProvider>(ipc);
    auto resumer = std::make_shared<RecordingResumer>();
    provider->setFlowResumer(resumer);
    EXPECT_EQ(provider->handleNewFlow(socketFlow(9)), NEFilterNewFlowVerdict::pauseVerdict());
    ASSERT_TRUE(
        RunLoop::main().runUntil([&] { return app.recorder().prompts().size() == 1; }, kWait));
    app.close();
    ASSERT_TRUE(RunLoop::main().runUntil([&] { return !resumer->resumed().empty(); }, kWait));
    EXPECT_EQ(resumer->resumed(),
              (std::vector{std::pair{std::uint64_t{9}, NEFilterNewFlowVerdict::Kind::allow}}));
}

}  // namespace
}  // namespace tarnwick::testing
