#include "Bootstrap/AppDelegate.h"
#include "Logging/LogHub.h"
#include "Shell/StartupAlertPresenter.h"
#include "Tools/SettingsKey.h"
#include "support/LoopbackHttpServer.h"
#include "support/TemporarySettings.h"

#include <QCoreApplication>
#include <QTest>
#include <QTimer>
#include <QWidget>

#include <gtest/gtest.h>

#include <cstdlib>
#include <limits>
#include <regex>
#include <string>
#include <vector>

namespace tarnwick {
namespace {

using testing::readFile;
using testing::TemporarySettings;

class AppDelegateTest : public ::testing::Test {
protected:
    void SetUp() override {
        // The delegate reads the real folders; point them at this test's own.
        ::setenv("XDG_DATA_HOME", (m_settings.folder() / "data").c_str(), 1);
        LogHub::removeAllDestinations();
    }
    void TearDown() override { LogHub::removeAllDestinations(); }

    std::int64_t storedLaunches() {
        return Settings::value(SettingsKey::launchesCount)
            .value_or(Value())
            .asInteger()
            .value_or(-1);
    }

    TemporarySettings m_settings;
};

TEST_F(AppDelegateTest, FirstLaunchWritesTheBannerAndCountsOne) {
    AppDelegate delegate;
    delegate.applicationDidFinishLaunching();
    ASSERT_TRUE(LogHub::flush(5));

    const auto log = readFile(m_settings.folder() / "data/Tarnwick/Logs/tarnwick.log");
    // Outside a bundle there is no version: the two runs of hyphens meet with one blank.
    const std::regex banner(
        R"(^\d{4}-\d\d-\d\d \d\d:\d\d:\d\d\.\d{3} \[INFO\]: ---------- v\. ----------\n$)");
    EXPECT_TRUE(std::regex_match(log, banner)) << log;
    EXPECT_EQ(delegate.previousLaunchesCount(), 0);
    EXPECT_EQ(storedLaunches(), 1);
    ASSERT_NE(delegate.mainWindow(), nullptr);
    EXPECT_TRUE(delegate.mainWindow()->isVisible());
}

TEST_F(AppDelegateTest, LaunchCountRules) {
    struct Case {
        const char* name;
        std::optional<Value> stored;
        bool fixingExtension;
        std::int64_t previous;
        std::int64_t after;
    };
    const Case cases[] = {
        {"counts up", Value(std::int64_t{2}), false, 2, 3},
        {"a string counts as zero", Value("seven"), false, 0, 1},
        {"a repair launch is not counted", Value(std::int64_t{5}), true, 5, 5},
        {"the largest count stays", Value(std::numeric_limits<std::int64_t>::max()), false,
         std::numeric_limits<std::int64_t>::max(), std::numeric_limits<std::int64_t>::max()},
    };
    for (const auto& row : cases) {
        SCOPED_TRACE(row.name);
        Settings::set(row.stored, SettingsKey::launchesCount);
        Settings::set(Value(row.fixingExtension), SettingsKey::isFixingExtension);
        AppDelegate delegate;
        delegate.applicationDidFinishLaunching();
        EXPECT_EQ(delegate.previousLaunchesCount(), row.previous);
        EXPECT_EQ(storedLaunches(), row.after);
        LogHub::removeAllDestinations();
    }
}

// A close of the main window is a request to quit; the application must really end, after the
// filter is switched off or the wait for it runs out, even though the window refuses the close.
TEST_F(AppDelegateTest, ClosingTheMainWindowEndsTheEventLoop) {
    AppDelegate delegate;
    delegate.applicationDidFinishLaunching();
    ASSERT_NE(delegate.mainWindow(), nullptr);
    QTimer::singleShot(0, [&] { delegate.mainWindow()->close(); });
    // Far past the shutdown's own limit: reaching it means the application would have hung.
    QTimer::singleShot(20'000, [] { QCoreApplication::exit(7); });
    EXPECT_EQ(QCoreApplication::exec(), 0);
}

class RecordingAlerts final : public StartupAlertPresenter {
public:
    bool confirmMove(const std::string&) override { return false; }
    void reportMoveFailure(const std::string& message) override { reports.push_back(message); }
    void reportUpdateCheck(const std::string& message) override { reports.push_back(message); }

    std::vector<std::string> reports;
};

// What an update check finds reaches the user through the presenter; in the background only an
// available update does.
TEST_F(AppDelegateTest, UpdateCheckOutcomesAreToldThroughThePresenter) {
    testing::LoopbackHttpServer server;
    std::string feed;
    server.routes().Get("/update.json", [&feed](const httplib::Request&, httplib::Response& res) {
        res.set_content(feed, "application/json");
    });
    server.start();
    const auto alerts = std::make_shared<RecordingAlerts>();
    AppDelegate delegate(alerts, server.baseURL() + "update.json");
    delegate.applicationDidFinishLaunching();

    feed = R"({"version": "0", "url": "https://example.org/tarnwick.deb"})";
    delegate.checkForUpdates(true);
    delegate.checkForUpdates(false);
    ASSERT_TRUE(QTest::qWaitFor([&] { return !alerts->reports.empty(); }, 10'000));
    EXPECT_EQ(alerts->reports, std::vector<std::string>{"Tarnwick 0 is the newest version."});

    alerts->reports.clear();
    feed = R"({"version": "99.0", "url": "https://example.org/tarnwick.deb"})";
    delegate.checkForUpdates(true);
    ASSERT_TRUE(QTest::qWaitFor([&] { return !alerts->reports.empty(); }, 10'000));
    ASSERT_EQ(alerts->reports.size(), 1u);
    EXPECT_NE(alerts->reports.front().find("99.0"), std::string::npos) << alerts->reports.front();
}

}  // namespace
}  // namespace tarnwick
