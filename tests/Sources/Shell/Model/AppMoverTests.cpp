#include "Dispatch/RunLoop.h"
#include "Libraries/Logging/LoggingTestSupport.h"
#include "Shell/AppMover.h"
#include "support/TemporaryDirectory.h"

#include <gtest/gtest.h>

#include <atomic>
#include <fstream>
#include <functional>
#include <future>
#include <sys/stat.h>

namespace tarnwick {
namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;
using testing::TemporaryDirectory;

class AppMoverTest : public ::testing::Test {
protected:
    AppMoverTest() {
        m_downloads = m_root.path() / "Downloads";
        m_applications = m_root.path() / "Apps";
        fs::create_directories(m_downloads / "Tarnwick.app" / "Contents");
        std::ofstream(m_downloads / "Tarnwick.app" / "Contents" / "Info.plist") << "plist";
        fs::create_directories(m_applications);
        m_environment.sourceBundle = m_downloads / "Tarnwick.app";
        m_environment.applicationDirectories = {m_applications};
        m_environment.mover = "/opt/Tarnwick.app/Contents/MacOS/tarnwick-application-mover";
        m_environment.moverFolder = fs::canonical(m_applications);
        m_environment.confirmMove = [this](bool needsAuthorization) {
            m_alerts.push_back(needsAuthorization);
            return m_answers.empty() ? false : popAnswer();
        };
        m_environment.privilegedRunner = [this](const ProcessRequest& request) -> ProcessResult {
            m_privileged.push_back(request.arguments);
            if (m_prompt) {
                m_prompt();
            }
            ProcessOutcome outcome;
            outcome.exitStatus = m_privilegedStatuses.empty() ? 0 : popStatus();
            outcome.standardError = m_privilegedError;
            return outcome;
        };
        m_environment.isRunningAt = [this](const fs::path&) { return m_runningAtDestination; };
        m_environment.openRunningCopy = [this](const fs::path& path) { m_opened = path; };
        m_environment.moveToTrash = [](const fs::path& path) -> Result<void, std::string> {
            fs::remove_all(path);
            return {};
        };
        m_environment.relaunch = [this](const fs::path& path) { m_relaunched = path; };
        m_environment.reportFailure = [this](const std::string& message) {
            m_failures.push_back(message);
        };
    }
    bool popAnswer() {
        const bool answer = m_answers.front();
        m_answers.erase(m_answers.begin());
        return answer;
    }
    int popStatus() {
        const int status = m_privilegedStatuses.front();
        m_privilegedStatuses.erase(m_privilegedStatuses.begin());
        return status;
    }

    TemporaryDirectory m_root;
    fs::path m_downloads, m_applications;
    AppMover::Environment m_environment;
    std::vector<bool> m_answers;
    std::vector<bool> m_alerts;
    std::vector<int> m_privilegedStatuses;
    std::string m_privilegedError;
    // What happens while the password prompt is open.
    std::function<void()> m_prompt;
    std::vector<std::vector<std::string>> m_privileged;
    bool m_runningAtDestination = false;
    std::optional<fs::path> m_opened, m_relaunched;
    std::vector<std::string> m_failures;
};

TEST_F(AppMoverTest, AlreadyInAnApplicationsFolderAsksNothing) {
    m_environment.sourceBundle = m_root.path() / "Applications" / "Tarnwick.app";
    EXPECT_EQ(AppMover::moveToApplicationsFolderIfNeeded(false, m_environment),
              AppMover::Outcome::alreadyInPlace);
    EXPECT_TRUE(m_alerts.empty());
}

TEST_F(AppMoverTest, ACopyTheSystemsPackageInstalledStaysInPlace) {
    m_environment.packageDirectories = {m_root.path() / "usr/lib/tarnwick"};
    m_environment.sourceBundle = m_root.path() / "usr/lib/tarnwick/Tarnwick.app";
    EXPECT_EQ(AppMover::moveToApplicationsFolderIfNeeded(false, m_environment),
              AppMover::Outcome::alreadyInPlace);
    EXPECT_TRUE(m_alerts.empty());
}

TEST_F(AppMoverTest, MovesIntoAWritableFolderAndRelaunchesFromThere) {
    m_answers = {true};
    EXPECT_EQ(AppMover::moveToApplicationsFolderIfNeeded(false, m_environment),
              AppMover::Outcome::moved);
    EXPECT_EQ(m_alerts, std::vector<bool>{false});
    EXPECT_TRUE(fs::exists(m_applications / "Tarnwick.app" / "Contents" / "Info.plist"));
    EXPECT_FALSE(fs::exists(m_downloads / "Tarnwick.app"));
    EXPECT_EQ(m_relaunched, fs::canonical(m_applications) / "Tarnwick.app");
    EXPECT_TRUE(m_privileged.empty());
}

TEST_F(AppMoverTest, DecliningLeavesEverythingInPlace) {
    m_answers = {false};
    EXPECT_EQ(AppMover::moveToApplicationsFolderIfNeeded(false, m_environment),
              AppMover::Outcome::declined);
    EXPECT_TRUE(fs::exists(m_downloads / "Tarnwick.app"));
    EXPECT_FALSE(m_relaunched);
}

TEST_F(AppMoverTest, LogsEachStepInItsOwnWords) {
    auto recorder = std::make_shared<testing::RecordingDestination>();
    recorder->setAsynchronously(false);
    LogHub::removeAllDestinations();
    LogHub::addDestination(recorder);
    m_environment.isWritable = [](const fs::path&) { return false; };
    m_answers = {true, false};
    m_privilegedStatuses = {126};  // the prompt dismissed, then the alert declined
    EXPECT_EQ(AppMover::moveToApplicationsFolderIfNeeded(false, m_environment),
              AppMover::Outcome::declined);
    LogHub::removeAllDestinations();
    std::vector<std::string> messages;
    for (const auto& entry : recorder->entries()) {
        messages.push_back(entry.message);
    }
    const std::string paths =
        "Source path: " + (m_downloads / "Tarnwick.app").string() +
        ". Destination path: " + (fs::canonical(m_applications) / "Tarnwick.app").string();
    EXPECT_EQ(messages, (std::vector<std::string>{
                            "Will ask to move the app into the Applications folder with auth.",
                            paths,
                            "User declined to grant authorization to move the app.",
                            "Will ask to move the app into the Applications folder with auth.",
                            paths,
                            "User declined to move the app.",
                        }));
}

TEST_F(AppMoverTest, ARunningCopyAtTheDestinationIsBroughtForward) {
    fs::create_directories(m_applications / "Tarnwick.app");
    m_runningAtDestination = true;
    EXPECT_EQ(AppMover::moveToApplicationsFolderIfNeeded(true, m_environment),
              AppMover::Outcome::openedRunningCopy);
    EXPECT_TRUE(m_opened.has_value());
    EXPECT_TRUE(fs::exists(m_downloads / "Tarnwick.app"));
}

TEST_F(AppMoverTest, AReadOnlyFolderIsReachedThroughTheMoverAndItsPolkitAction) {
    m_environment.isWritable = [](const fs::path&) { return false; };
    m_answers = {true, true};
    m_privilegedStatuses = {126, 0};  // the first prompt dismissed, the second accepted
    struct stat info {};
    ASSERT_EQ(::stat((m_downloads / "Tarnwick.app").c_str(), &info), 0);
    const auto outcome = AppMover::moveToApplicationsFolderIfNeeded(false, m_environment);
    EXPECT_EQ(outcome, AppMover::Outcome::moved);
    EXPECT_EQ(m_alerts, (std::vector<bool>{true, true}));  // asked again after the dismissal
    ASSERT_EQ(m_privileged.size(), 2u);
    // pkexec matches the action by the program and its first argument; the bundle goes as
    // the folder that was checked, by device and inode.
    EXPECT_EQ(m_privileged.back(),
              (std::vector<std::string>{"pkexec", m_environment.mover.string(), "move",
                                        (m_downloads / "Tarnwick.app").string(),
                                        std::to_string(info.st_dev), std::to_string(info.st_ino)}));
    EXPECT_EQ(m_relaunched, fs::canonical(m_applications) / "Tarnwick.app");
}

TEST_F(AppMoverTest, AFailedPrivilegedMoveIsToldAndTheAppStaysWhereItIs) {
    m_environment.isWritable = [](const fs::path&) { return false; };
    m_answers = {true};
    m_privilegedStatuses = {1};  // the mover refused
    EXPECT_EQ(AppMover::moveToApplicationsFolderIfNeeded(false, m_environment),
              AppMover::Outcome::failed);
    EXPECT_EQ(m_failures.size(), 1u);
    EXPECT_FALSE(m_relaunched);
    EXPECT_TRUE(fs::exists(m_downloads / "Tarnwick.app"));
}

TEST_F(AppMoverTest, AFailedPrivilegedMoveIsReportedNotSuccess) {
    const fs::path source = m_downloads / "Tarnwick.app";
    m_privilegedStatuses = {1};
    const auto move =
        AppMover::authorizedMove(source, m_environment.mover, m_environment.privilegedRunner);
    EXPECT_FALSE(move.succeeded);
    EXPECT_FALSE(move.cancelled);
    EXPECT_EQ(m_privileged.size(), 1u);
    // What the mover would refuse never reaches the password prompt.
    fs::create_directory_symlink(source, m_downloads / "Linked");
    fs::create_directories(m_downloads / "Other.app");
    for (const fs::path& refused :
         {m_downloads / "Linked/Tarnwick.app", m_downloads / "Other.app",
          fs::path("Downloads/Tarnwick.app"), m_downloads / "Missing/Tarnwick.app"}) {
        SCOPED_TRACE(refused.string());
        EXPECT_FALSE(
            AppMover::authorizedMove(refused, m_environment.mover, m_environment.privilegedRunner)
                .succeeded);
    }
    EXPECT_EQ(m_privileged.size(), 1u);
}

// The password prompt may stay open for minutes: the main queue, which serves the window and the
// extension's link, keeps turning meanwhile, and the move ends there once the prompt is answered.
TEST_F(AppMoverTest, ThePasswordPromptWaitsOffTheMainQueue) {
    m_environment.isWritable = [](const fs::path&) { return false; };
    m_environment.privilegedQueue = DispatchQueue::create("test-privileged");
    m_answers = {true};
    std::promise<void> answered;
    auto answer = answered.get_future().share();
    std::atomic<bool> prompting{false};
    m_prompt = [&] {
        prompting = true;
        answer.wait();
    };
    EXPECT_EQ(AppMover::moveToApplicationsFolderIfNeeded(false, m_environment),
              AppMover::Outcome::authorizing);
    ASSERT_TRUE(RunLoop::main().runUntil([&] { return prompting.load(); }, 10s));
    bool served = false;
    DispatchQueue::main()->async([&] { served = true; });
    EXPECT_TRUE(RunLoop::main().runUntil([&] { return served; }, 10s));
    EXPECT_FALSE(m_relaunched);

    answered.set_value();
    ASSERT_TRUE(RunLoop::main().runUntil([&] { return m_relaunched.has_value(); }, 10s));
    EXPECT_EQ(m_relaunched, fs::canonical(m_applications) / "Tarnwick.app");
    EXPECT_FALSE(fs::exists(m_downloads / "Tarnwick.app"));
}

// pkexec that reaches no polkit shows no prompt: the user hears why, not that they declined.
TEST_F(AppMoverTest, APromptThatCouldNotBeShownIsToldAsSuch) {
    m_environment.isWritable = [](const fs::path&) { return false; };
    m_answers = {true};
    m_privilegedStatuses = {127};
    m_privilegedError =
        "Error getting authority: Error initializing authority: Could not connect\n";
    EXPECT_EQ(AppMover::moveToApplicationsFolderIfNeeded(false, m_environment),
              AppMover::Outcome::failed);
    EXPECT_EQ(m_alerts.size(), 1u) << "not asked again as if the prompt was dismissed";
    EXPECT_EQ(m_failures,
              std::vector<std::string>{
                  "Tarnwick could not be moved to the Applications folder. No administrator's "
                  "password could be asked for, because the system's authorisation service or its "
                  "password prompt is not running (Error getting authority: Error initializing "
                  "authority: Could not connect). It keeps running from where it is."});
    EXPECT_TRUE(fs::exists(m_downloads / "Tarnwick.app"));
}

TEST_F(AppMoverTest, AReadOnlyFolderOtherThanTheMoversIsNotAskedFor) {
    m_environment.isWritable = [](const fs::path&) { return false; };
    m_environment.moverFolder = "/Applications";
    m_answers = {true};
    EXPECT_EQ(AppMover::moveToApplicationsFolderIfNeeded(false, m_environment),
              AppMover::Outcome::failed);
    EXPECT_TRUE(m_privileged.empty());
    EXPECT_EQ(m_failures.size(), 1u);
    EXPECT_TRUE(fs::exists(m_downloads / "Tarnwick.app"));
}

TEST_F(AppMoverTest, ChoosesTheFullestApplicationsFolderAndNeverTheSystemOne) {
    const fs::path small = m_root.path() / "Small";
    const fs::path large = m_root.path() / "Large";
    fs::create_directories(small / "one.app");
    fs::create_directories(large / "one.app");
    fs::create_directories(large / "two.app");
    EXPECT_EQ(AppMover::applicationsFolder({small, m_root.path() / "missing", large}),
              fs::canonical(large));
    EXPECT_EQ(AppMover::applicationsFolder({small, small}), fs::canonical(small));
    EXPECT_FALSE(AppMover::applicationsFolder({"/System/Applications"}).has_value());
}

TEST_F(AppMoverTest, RelaunchPassesPidAndPathAsArguments) {
    const auto arguments =
        AppMover::relaunchArguments(4242, "/opt/My \"App\".app/Contents/MacOS/Tarnwick");
    ASSERT_EQ(arguments.size(), 6u);
    EXPECT_EQ(arguments[4], "4242");
    EXPECT_EQ(arguments[5], "/opt/My \"App\".app/Contents/MacOS/Tarnwick");
    EXPECT_EQ(AppMover::moveAlertInformativeText("Tarnwick", true),
              "Tarnwick needs to move to your Applications folder in order to work properly. You "
              "need to authenticate with your administrator password to complete this step.");
}

}  // namespace
}  // namespace tarnwick
