#include "Dispatch/DispatchQueue.h"
#include "Dispatch/RunLoop.h"
#include "HelperSandbox.h"
#include "Privileged/SystemExtensionHelper.h"
#include "SystemExtensions/OSSystemExtensionManager.h"
#include "support/TemporaryDirectory.h"

#include <gtest/gtest.h>

#include <csignal>
#include <mutex>
#include <thread>

namespace tarnwick {
namespace {

namespace fs = std::filesystem;
using testing::HelperSandbox;
using testing::TemporaryDirectory;
using testing::writeFile;

const std::string kIdentifier = TARNWICK_EXTENSION_IDENTIFIER;
const std::string kBundleName = kIdentifier + ".systemextension";

void writeExtension(const fs::path& app, const std::string& shortVersion,
                    const std::string& version) {
    const auto contents = app / "Contents/Library/SystemExtensions" / kBundleName / "Contents";
    fs::create_directories(contents / "MacOS");
    writeFile(contents / "Info.plist",
              "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<plist version=\"1.0\"><dict>"
              "<key>CFBundleIdentifier</key><string>" +
                  kIdentifier +
                  "</string>"
                  "<key>CFBundleExecutable</key><string>filter</string>"
                  "<key>CFBundleShortVersionString</key><string>" +
                  shortVersion +
                  "</string>"
                  "<key>CFBundleVersion</key><string>" +
                  version + "</string></dict></plist>\n");
    fs::copy_file(TEST_DAEMON, contents / "MacOS/filter", fs::copy_options::overwrite_existing);
}

// Records every delegate call in order and answers the replacement question as told.
class RecordingDelegate final : public OSSystemExtensionRequestDelegate {
public:
    OSSystemExtensionReplacementAction actionForReplacingExtension(
        const OSSystemExtensionRequest&, const OSSystemExtensionProperties& existing,
        const OSSystemExtensionProperties& extension) override {
        events.push_back("replace? " + existing.bundleShortVersion + "(" + existing.bundleVersion +
                         ") " + extension.bundleShortVersion + "(" + extension.bundleVersion + ")");
        return answer;
    }
    void requestNeedsUserApproval(const OSSystemExtensionRequest&) override {
        events.push_back("approval");
    }
    void requestDidFinishWithResult(const OSSystemExtensionRequest&,
                                    OSSystemExtensionRequestResult result) override {
        events.push_back("finished " + std::to_string(static_cast<int>(result)));
        ++endings;
    }
    void requestDidFailWithError(const OSSystemExtensionRequest&,
                                 const OSSystemExtensionError& error) override {
        events.push_back("failed " + std::to_string(static_cast<int>(error.code)) + " " +
                         error.localizedDescription);
        ++endings;
    }

    OSSystemExtensionReplacementAction answer = OSSystemExtensionReplacementAction::replace;
    std::vector<std::string> events;
    int endings = 0;
};

class SystemExtensionManagerTest : public ::testing::Test {
protected:
    void SetUp() override {
        if (::geteuid() != 0) {
            GTEST_SKIP() << "needs root";
        }
        m_sandbox = std::make_unique<HelperSandbox>();
        manager =
            std::make_unique<OSSystemExtensionManager>(OSSystemExtensionManager::Configuration{
                app(), installFolder(), TEST_HELPER,
                [this](const ProcessRequest& request) { return run(request); },
                [] { return false; }});
    }

    fs::path app() const { return m_folder / "Tarnwick.app"; }
    fs::path installFolder() const { return m_sandbox->installFolder(); }

    // Stands in for pkexec: records the command and runs the helper as root in the sandbox,
    // unless told to answer with a status of its own.
    ProcessResult run(const ProcessRequest& request) {
        {
            std::lock_guard lock(m_mutex);
            commands.push_back(request.arguments);
        }
        if (pkexecStatus) {
            return ProcessOutcome{*pkexecStatus, "", "", false};
        }
        ProcessRequest direct = request;
        if (!direct.arguments.empty() && direct.arguments.front() == "pkexec") {
            direct.arguments.erase(direct.arguments.begin());
        }
        direct.arguments = m_sandbox->inside(direct.arguments);
        return Process::run(direct);
    }

    void submit(std::shared_ptr<OSSystemExtensionRequest> request) {
        request->setDelegate(delegate);
        const int before = delegate->endings;
        manager->submitRequest(request);
        ASSERT_TRUE(RunLoop::main().runUntil([&] { return delegate->endings > before; },
                                             std::chrono::seconds(20)));
        // No second ending follows.
        RunLoop::main().runFor(std::chrono::milliseconds(50));
        EXPECT_EQ(delegate->endings, before + 1);
    }
    std::shared_ptr<OSSystemExtensionRequest> activation() {
        return OSSystemExtensionRequest::activationRequest(kIdentifier, DispatchQueue::main());
    }

    TemporaryDirectory m_folder;
    std::unique_ptr<HelperSandbox> m_sandbox;
    std::mutex m_mutex;
    std::vector<std::vector<std::string>> commands;
    std::optional<int> pkexecStatus;
    std::shared_ptr<RecordingDelegate> delegate = std::make_shared<RecordingDelegate>();
    std::unique_ptr<OSSystemExtensionManager> manager;
};

TEST_F(SystemExtensionManagerTest, InstallsStartsReplacesByVersionAndRemoves) {
    writeExtension(app(), "1.0", "7");
    submit(activation());
    EXPECT_EQ(delegate->events, (std::vector<std::string>{"approval", "finished 0"}));
    ASSERT_EQ(commands.size(), 1u);
    EXPECT_EQ(commands[0],
              (std::vector<std::string>{
                  "pkexec", TEST_HELPER, "activate",
                  (app() / "Contents/Library/SystemExtensions" / kBundleName).string()}));
    const auto first = SystemExtensionHelper::runningInstance(installFolder(), kBundleName);
    ASSERT_TRUE(first);
    EXPECT_TRUE(fs::exists(installFolder() / kBundleName / "Contents/Info.plist"));

    // The same versions: the running copy stays, nothing privileged runs.
    delegate->events.clear();
    delegate->answer = OSSystemExtensionReplacementAction::cancel;
    submit(activation());
    EXPECT_EQ(delegate->events, (std::vector<std::string>{"replace? 1.0(7) 1.0(7)", "finished 0"}));
    EXPECT_EQ(commands.size(), 1u);
    EXPECT_EQ(SystemExtensionHelper::runningInstance(installFolder(), kBundleName), first);

    // Another build: the delegate sees both versions, and a replacement restarts the copy.
    writeExtension(app(), "1.0", "8");
    delegate->events.clear();
    delegate->answer = OSSystemExtensionReplacementAction::replace;
    submit(activation());
    EXPECT_EQ(delegate->events,
              (std::vector<std::string>{"replace? 1.0(7) 1.0(8)", "approval", "finished 0"}));
    const auto second = SystemExtensionHelper::runningInstance(installFolder(), kBundleName);
    ASSERT_TRUE(second);
    EXPECT_NE(second, first);
    EXPECT_NE(::kill(*first, 0), 0);

    delegate->events.clear();
    submit(OSSystemExtensionRequest::deactivationRequest(kIdentifier, DispatchQueue::main()));
    EXPECT_EQ(delegate->events, (std::vector<std::string>{"approval", "finished 0"}));
    EXPECT_FALSE(fs::exists(installFolder() / kBundleName));
    EXPECT_TRUE(
        RunLoop::main().runUntil([&] { return ::kill(*second, 0) != 0; }, std::chrono::seconds(5)));
}

TEST_F(SystemExtensionManagerTest, FailuresEndTheRequestOnceWithAClearError) {
    // Nothing carried.
    submit(activation());
    ASSERT_EQ(delegate->events.size(), 1u);
    EXPECT_EQ(delegate->events[0],
              "failed 4 The application carries no extension named " + kIdentifier + ".");
    EXPECT_TRUE(commands.empty());

    // The password prompt dismissed, then refused.
    writeExtension(app(), "1.0", "1");
    for (const auto& [status, text] : std::vector<std::pair<int, std::string>>{
             {126, "failed 13 The administrator password prompt was dismissed."},
             {127, "failed 13 Administrator rights were not granted."}}) {
        SCOPED_TRACE(status);
        delegate->events.clear();
        pkexecStatus = status;
        submit(activation());
        EXPECT_EQ(delegate->events, (std::vector<std::string>{"approval", text}));
        EXPECT_FALSE(fs::exists(installFolder() / kBundleName));
    }

    // Removing what is not installed.
    delegate->events.clear();
    pkexecStatus.reset();
    submit(OSSystemExtensionRequest::deactivationRequest(kIdentifier, DispatchQueue::main()));
    EXPECT_EQ(delegate->events, (std::vector<std::string>{"failed 4 The extension " + kIdentifier +
                                                          " is not installed."}));
}

}  // namespace
}  // namespace tarnwick
