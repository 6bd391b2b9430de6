#include "Bootstrap/AppDelegate.h"
#include "Logging/LogHub.h"
#include "Tools/SettingsKey.h"
#include "support/TemporarySettings.h"

#include <QCoreApplication>
#include <QTimer>
#include <QWidget>

#include <gtest/gtest.h>

#include <cstdlib>
#include <limits>
#include <regex>

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

}  // namespace
}  // namespace tarnwick
