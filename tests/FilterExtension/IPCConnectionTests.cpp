#include "Dispatch/RunLoop.h"
#include "FilterExtension/IPCConnection.h"
#include "LinkedApp.h"
#include "OSLog/OSLog.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <memory>
#include <vector>

using namespace std::chrono_literals;

namespace tarnwick::testing {
namespace {

constexpr auto kWait = 10s;

bool waitFor(const std::function<bool()>& condition) {
    return RunLoop::main().runUntil(condition, kWait);
}

struct Answers {
    std::atomic<int> count{0};
    std::atomic<int> allowed{0};
    std::function<void(bool)> handler() {
        return [this](bool allow) {
            allowed += allow ? 1 : 0;
            ++count;
        };
    }
};

const IPCConnection::FlowInfo kFlow{{"localPort", "8080"},
                                    {"remoteAddress", "10.200.9.9"},
                                    {"bundleId", "com.example.app"},
                                    {"url", ""},
                                    {"aza", "example.test"}};

TEST(IPCConnection, PromptReachesTheApplicationAndItsAnswerComesBack) {
    auto ipc = makeIPCConnection();
    LinkedApp app(*ipc, LinkedApp::Answer::deny);
    Answers answers;
    ASSERT_TRUE(ipc->promptUser(kFlow, answers.handler()));
    ASSERT_TRUE(waitFor([&] { return answers.count == 1; }));
    EXPECT_EQ(answers.allowed, 0);
    ASSERT_EQ(app.recorder().prompts().size(), 1u);
    EXPECT_EQ(app.recorder().prompts()[0], kFlow);
}

TEST(IPCConnection, PromptWithoutApplicationIsRefusedAndNeverAnswered) {
    std::vector<std::string> lines;
    std::mutex mutex;
    OSLog::setObserverForTesting([&](const OSLog&, OSLogType, std::string_view line) {
        std::lock_guard lock(mutex);
        lines.emplace_back(line);
    });
    auto ipc = makeIPCConnection();
    Answers answers;
    EXPECT_FALSE(ipc->promptUser(kFlow, answers.handler()));
    RunLoop::main().runFor(50ms);
    EXPECT_EQ(answers.count, 0);
    OSLog::setObserverForTesting({});
    EXPECT_NE(std::find(lines.begin(), lines.end(),
                        "Cannot prompt user because the app isn't registered"),
              lines.end());
}

TEST(IPCConnection, ConnectionThatNeverRegistersDoesNotTakeOver) {
    auto ipc = makeIPCConnection();
    LinkedApp app(*ipc, LinkedApp::Answer::deny);
    ASSERT_TRUE(app.registered());
    LinkedApp idle(*ipc, LinkedApp::Answer::hold, LinkedApp::Registers::no);
    ASSERT_TRUE(idle.accepted());
    EXPECT_EQ(ipc->currentConnection(), app.extensionSide());
    Answers answers;
    ASSERT_TRUE(ipc->promptUser(kFlow, answers.handler()));
    ASSERT_TRUE(waitFor([&] { return answers.count == 1; }));
    EXPECT_EQ(answers.allowed, 0) << "the registered application answered";
    EXPECT_TRUE(idle.recorder().prompts().empty());
}

TEST(IPCConnection, AFullPoolClosesTheOldestUnregisteredAndTheTimeLimitTheRest) {
    // Every connection here comes from this one process of one user: each bound in turn the one
    // reached, for other programs and for the application's own (which are bounded apart).
    struct Case {
        const char* name;
        IPCConnection::Limits limits;
        bool clientsRunTheApplication;
    };
    for (const auto& row : std::vector<Case>{
             {"others, in all", {2, 1s, 8, 8}, false},
             {"others, per process", {8, 1s, 2, 8}, false},
             {"others, per user", {8, 1s, 8, 2}, false},
             {"the application's program, per process", {8, 1s, 2, 8}, true},
             {"the application's program, per user", {2, 1s, 8, 8}, true},
         }) {
        SCOPED_TRACE(row.name);
        auto application = std::make_shared<std::atomic<bool>>(row.clientsRunTheApplication);
        auto ipc = makeIPCConnection(row.limits, application);
        LinkedApp first(*ipc, LinkedApp::Answer::hold, LinkedApp::Registers::no);
        LinkedApp second(*ipc, LinkedApp::Answer::hold, LinkedApp::Registers::no);
        LinkedApp third(*ipc, LinkedApp::Answer::hold, LinkedApp::Registers::no);
        EXPECT_TRUE(third.accepted()) << "a newcomer is never refused";
        EXPECT_TRUE(waitFor([&] { return first.wasClosed(); })) << "the oldest made way";
        EXPECT_FALSE(second.wasClosed()) << "only the oldest, before any time limit";
        *application = true;
        LinkedApp app(*ipc, LinkedApp::Answer::allow);
        EXPECT_TRUE(app.registered());
        EXPECT_TRUE(waitFor([&] { return second.wasClosed() && third.wasClosed(); }))
            << "idle clients are let go";
        RunLoop::main().runFor(1500ms);
        EXPECT_FALSE(app.wasClosed()) << "a registered client has no time limit";
    }
}

TEST(IPCConnection, OnlyTheApplicationsProgramRegisters) {
    auto application = std::make_shared<std::atomic<bool>>(false);
    auto ipc = makeIPCConnection({}, application);
    LinkedApp impostor(*ipc, LinkedApp::Answer::allow);
    EXPECT_TRUE(impostor.accepted());
    EXPECT_FALSE(impostor.registered()) << "another program of the same user";

    // A process that ran the application when it connected but another program by the time it
    // registers.
    *application = true;
    LinkedApp changed(*ipc, LinkedApp::Answer::allow, LinkedApp::Registers::no);
    *application = false;
    EXPECT_FALSE(changed.registerNow());

    EXPECT_EQ(ipc->currentConnection(), nullptr);
    Answers answers;
    EXPECT_FALSE(ipc->promptUser(kFlow, answers.handler())) << "nobody to ask";
    EXPECT_TRUE(impostor.recorder().prompts().empty());

    *application = true;
    LinkedApp app(*ipc, LinkedApp::Answer::deny);
    EXPECT_TRUE(app.registered());
    EXPECT_EQ(ipc->currentConnection(), app.extensionSide());
}

TEST(IPCConnection, ClientsThatOnlyConnectNeverCrowdOutTheApplication) {
    auto application = std::make_shared<std::atomic<bool>>(true);
    auto ipc = makeIPCConnection(IPCConnection::Limits{2, 10s, 2, 2}, application);
    // The application has connected and is about to register when others flood in.
    LinkedApp app(*ipc, LinkedApp::Answer::deny, LinkedApp::Registers::no);
    *application = false;
    std::vector<std::unique_ptr<LinkedApp>> others;
    for (int i = 0; i < 6; ++i) {
        others.push_back(
            std::make_unique<LinkedApp>(*ipc, LinkedApp::Answer::hold, LinkedApp::Registers::no));
        EXPECT_TRUE(others.back()->accepted()) << "a newcomer is never refused";
    }
    EXPECT_TRUE(waitFor([&] { return others[3]->wasClosed(); }))
        << "the others made way among themselves";
    *application = true;
    EXPECT_TRUE(app.registerNow());
    EXPECT_FALSE(app.wasClosed());
    Answers answers;
    ASSERT_TRUE(ipc->promptUser(kFlow, answers.handler()));
    ASSERT_TRUE(waitFor([&] { return answers.count == 1; }));
    EXPECT_EQ(answers.allowed, 0) << "the application answered";
}

TEST(IPCConnection, RegisterAnswersTrueEveryTime) {
    auto ipc = makeIPCConnection();
    LinkedApp app(*ipc, LinkedApp::Answer::allow);
    auto provider = ProviderCommunication::remoteObject(
        app.appSide()->remoteObjectProxyWithErrorHandler([](const XPCError&) {}));
    std::atomic<int> registered{0};
    for (int i = 0; i < 3; ++i) {
        provider->registerApp([&](bool answer) { registered += answer ? 1 : 0; });
    }
    EXPECT_TRUE(waitFor([&] { return registered == 3; }));
}

TEST(IPCConnection, NewerConnectionReplacesTheOlderAndClosesIt) {
    auto ipc = makeIPCConnection();
    LinkedApp first(*ipc, LinkedApp::Answer::allow);
    LinkedApp second(*ipc, LinkedApp::Answer::deny);
    ASSERT_TRUE(first.registered() && second.registered());
    EXPECT_EQ(ipc->currentConnection(), second.extensionSide());
    EXPECT_TRUE(waitFor([&] { return first.wasClosed(); }));

    // The first one's end has been handled by now; it must not have cut off the second.
    Answers answers;
    ASSERT_TRUE(ipc->promptUser(kFlow, answers.handler()));
    ASSERT_TRUE(waitFor([&] { return answers.count == 1; }));
    EXPECT_EQ(answers.allowed, 0);
    EXPECT_EQ(second.recorder().prompts().size(), 1u);
    EXPECT_TRUE(first.recorder().prompts().empty());
    EXPECT_EQ(ipc->currentConnection(), second.extensionSide());
}

TEST(IPCConnection, PromptFailingOnAReplacedConnectionAllowsItsFlowAndKeepsTheLiveOne) {
    auto ipc = makeIPCConnection();
    LinkedApp stale(*ipc, LinkedApp::Answer::hold);
    Answers answers;
    ASSERT_TRUE(ipc->promptUser(kFlow, answers.handler()));
    ASSERT_TRUE(waitFor([&] { return stale.recorder().prompts().size() == 1; }));

    LinkedApp live(*ipc, LinkedApp::Answer::deny);
    ASSERT_TRUE(waitFor([&] { return answers.count == 1; }));
    EXPECT_EQ(answers.allowed, 1);
    RunLoop::main().runFor(50ms);
    EXPECT_EQ(answers.count, 1) << "the response handler runs exactly once";
    EXPECT_EQ(ipc->currentConnection(), live.extensionSide());
}

TEST(IPCConnection, ApplicationThatGoesAwayIsForgottenAndItsPromptsAllowed) {
    auto ipc = makeIPCConnection();
    LinkedApp app(*ipc, LinkedApp::Answer::hold);
    Answers held;
    ASSERT_TRUE(ipc->promptUser(kFlow, held.handler()));
    ASSERT_TRUE(waitFor([&] { return app.recorder().prompts().size() == 1; }));
    app.close();
    ASSERT_TRUE(waitFor([&] { return held.count == 1 && ipc->currentConnection() == nullptr; }));
    EXPECT_EQ(held.allowed, 1);

    Answers later;
    EXPECT_FALSE(ipc->promptUser(kFlow, later.handler()));
}

TEST(IPCConnection, MachServiceNameComesFromTheExtensionBundle) {
    EXPECT_EQ(IPCConnection::machServiceName(Bundle(TARNWICK_EXTENSION_BUNDLE)),
              "com.brenlow-works.corvid.filter-extension");
}

TEST(IPCConnectionDeathTest, BundleWithoutMachServiceNameStopsTheProcess) {
    ::testing::FLAGS_gtest_death_test_style = "threadsafe";
    EXPECT_DEATH(IPCConnection::machServiceName(Bundle(TARNWICK_TEST_DATA_DIR)), "");
}

}  // namespace
}  // namespace tarnwick::testing
