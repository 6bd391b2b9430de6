#include "Dispatch/ManualScheduler.h"
#include "Shell/AppActiveScreenType.h"
#include "Shell/FilterShutdown.h"
#include "Shell/IOSPromotionSchedule.h"
#include "Shell/MainWindowLayoutModel.h"
#include "Shell/WindowFrameAutosave.h"
#include "WidgetKit/ScanButtonConfig.h"

#include <QCoreApplication>
#include <QTest>

#include <gtest/gtest.h>

namespace tarnwick {
namespace {

using Screen = AppActiveScreenType;
using Edge = MainWindowLayoutModel::Edge;

void drainMainQueue() {
    for (int i = 0; i < 3; ++i) {
        QCoreApplication::processEvents();
    }
}

TEST(AppActiveScreenTypeTest, RawValuesRoundTrip) {
    EXPECT_EQ(rawValue(Screen::connectionsMonitor), "Connections Monitor");
    for (Screen screen : allAppActiveScreenTypes) {
        EXPECT_EQ(appActiveScreenTypeFromRawValue(rawValue(screen)), screen);
    }
    EXPECT_FALSE(appActiveScreenTypeFromRawValue("settings").has_value());
}

TEST(MainWindowLayoutModelTest, ScreensSlideInSideBarOrder) {
    struct Row {
        Screen from, to;
        Edge direction;
    };
    for (const Row& row :
         std::vector<Row>{{Screen::connectionsMonitor, Screen::appMonitor, Edge::bottom},
                          {Screen::appMonitor, Screen::connectionsMonitor, Edge::bottom},
                          {Screen::settings, Screen::connectionsMonitor, Edge::top},
                          {Screen::connectionsMonitor, Screen::settings, Edge::top},
                          {Screen::appMonitor, Screen::settings, Edge::bottom}}) {
        MainWindowLayoutModel model(false);
        model.requestScreen(row.from);
        std::vector<std::pair<Screen, Screen>> switches;
        model.onSwitch = [&](Screen from, Screen to) { switches.emplace_back(from, to); };
        model.requestScreen(row.to);
        EXPECT_EQ(model.currentScreen(), row.to);
        EXPECT_EQ(model.flowDirection(), row.direction);
        EXPECT_EQ(switches.size(), 1u);
    }
}

TEST(MainWindowLayoutModelTest, NotificationsSwitchOnlyForScreensAndTabs) {
    MainWindowLayoutModel model(false);
    EXPECT_EQ(model.currentScreen(), Screen::appMonitor);
    int switches = 0;
    std::vector<SettingsTab> tabs;
    model.onSwitch = [&](Screen, Screen) { ++switches; };
    model.onSettingsTabRequested = [&](SettingsTab tab) { tabs.push_back(tab); };

    model.handleSwitchScreenNotification(Screen::appMonitor);  // already shown
    model.handleSwitchScreenNotification(std::any());
    model.handleSwitchScreenNotification(std::string("Settings"));
    EXPECT_EQ(switches, 0);

    model.handleSwitchScreenNotification(SettingsTab::targetCoutries);
    EXPECT_EQ(model.currentScreen(), Screen::settings);
    model.handleSwitchScreenNotification(SettingsTab::restrictions);  // already on settings
    EXPECT_EQ(switches, 1);
    EXPECT_EQ(tabs,
              (std::vector<SettingsTab>{SettingsTab::targetCoutries, SettingsTab::restrictions}));

    MainWindowLayoutModel repairing(true);
    EXPECT_EQ(repairing.currentScreen(), Screen::connectionsMonitor);
    EXPECT_EQ(repairing.currentScreenToSet(), Screen::connectionsMonitor);
}

struct PromotionFixture {
    std::int64_t launches = 2;
    bool didPresent = false;
    int presented = 0;
    ManualScheduler scheduler;
    IOSPromotionSchedule schedule{
        {[this] { return launches; }, [this] { return didPresent; }, [this] { didPresent = true; }},
        [this] { ++presented; },
        scheduler};
    void advance(Scheduler::Duration by) {
        scheduler.advance(by);
        drainMainQueue();
    }
};

TEST(IOSPromotionScheduleTest, OfferedFromTheSecondLaunchTwoSecondsAfterBecomingKey) {
    EXPECT_FALSE(IOSPromotionSchedule::isDue(1, false));
    EXPECT_TRUE(IOSPromotionSchedule::isDue(2, false));
    EXPECT_FALSE(IOSPromotionSchedule::isDue(5, true));

    PromotionFixture first;
    first.launches = 1;
    first.schedule.windowDidBecomeKey();
    first.advance(std::chrono::seconds(3));
    EXPECT_EQ(first.presented, 0);

    PromotionFixture second;
    second.schedule.windowDidBecomeKey();
    second.advance(std::chrono::milliseconds(1900));
    EXPECT_EQ(second.presented, 0);
    second.advance(std::chrono::milliseconds(100));
    EXPECT_EQ(second.presented, 1);
    EXPECT_TRUE(second.didPresent);
}

TEST(IOSPromotionScheduleTest, BecomingKeyTwiceWithinTheDelayOffersItOnce) {
    PromotionFixture fixture;
    fixture.schedule.windowDidBecomeKey();
    fixture.advance(std::chrono::milliseconds(500));
    fixture.schedule.windowDidBecomeKey();
    fixture.advance(std::chrono::seconds(3));
    EXPECT_EQ(fixture.presented, 1);
}

TEST(IOSPromotionScheduleTest, NothingRunsForAWindowThatIsGone) {
    ManualScheduler scheduler;
    int presented = 0;
    {
        IOSPromotionSchedule schedule(
            {[] { return 3; }, [] { return false; }, [] {}}, [&] { ++presented; }, scheduler);
        schedule.windowDidBecomeKey();
    }
    scheduler.advance(std::chrono::seconds(3));
    drainMainQueue();
    EXPECT_EQ(presented, 0);
}

TEST(FilterShutdownTest, SavesTheFilterDisabledThenEndsOnce) {
    ManualScheduler scheduler;
    std::optional<FilterConfiguration> saved;
    int done = 0;
    FilterShutdown::run(
        {[](auto completion) {
             FilterConfiguration enabled;
             enabled.enabled = true;
             enabled.localizedDescription = "Tarnwick";
             completion(enabled);
         },
         [&](const FilterConfiguration& configuration, std::function<void()> completion) {
             saved = configuration;
             completion();
         }},
        [&] { ++done; }, scheduler);
    drainMainQueue();
    ASSERT_TRUE(saved.has_value());
    EXPECT_FALSE(saved->enabled);
    EXPECT_EQ(saved->localizedDescription, "Tarnwick");
    EXPECT_EQ(done, 1);
    scheduler.advance(FilterShutdown::defaultLimit);
    drainMainQueue();
    EXPECT_EQ(done, 1);
}

TEST(FilterShutdownTest, EndsAfterTheLimitWhenTheFilterHostNeverAnswers) {
    ManualScheduler scheduler;
    int done = 0;
    std::function<void(const std::optional<FilterConfiguration>&)> lateLoad;
    FilterShutdown::run(
        {[&](auto completion) { lateLoad = completion; },
         [](const FilterConfiguration&, std::function<void()> completion) { completion(); }},
        [&] { ++done; }, scheduler, std::chrono::seconds(3));
    drainMainQueue();
    EXPECT_EQ(done, 0);
    scheduler.advance(std::chrono::seconds(3));
    drainMainQueue();
    EXPECT_EQ(done, 1);
    // A load that answers after all, failing, changes nothing more.
    lateLoad(std::nullopt);
    drainMainQueue();
    EXPECT_EQ(done, 1);
}

TEST(ScanButtonConfigTest, TapsAskForTheOtherState) {
    EXPECT_EQ(ScanButtonConfig::requestedState(ScanState::active), ScanState::standBy);
    EXPECT_EQ(ScanButtonConfig::requestedState(ScanState::standBy), ScanState::active);
    EXPECT_EQ(ScanButtonConfig::requestedState(ScanState::done), ScanState::active);
}

TEST(WindowFrameAutosaveTest, StoredFramesAreReadStrictlyAndFittedToAScreen) {
    using Rect = WindowFrameAutosave::Rect;
    EXPECT_EQ(WindowFrameAutosave::encode({-5, 10, 1100, 700}), "-5 10 1100 700");
    for (const char* bad :
         {"", "1 2 3", "1 2 3 4 5", "1 2 0 4", "1 2 -3 4", "a b c d", "1 2 99999999999 4"}) {
        SCOPED_TRACE(bad);
        EXPECT_FALSE(WindowFrameAutosave::decode(bad));
    }
    EXPECT_EQ(WindowFrameAutosave::decode("-5 10 1100 700"), (Rect{-5, 10, 1100, 700}));

    const std::vector<Rect> screens{{0, 0, 1366, 740}, {1366, 0, 2560, 1400}};
    struct Row {
        const char* name;
        Rect saved;
        std::optional<Rect> expected;
    };
    for (const Row& row : std::vector<Row>{
             {"fits as it is", {100, 20, 1100, 700}, Rect{100, 20, 1100, 700}},
             {"mostly on the second screen", {2000, 100, 1200, 800}, Rect{2000, 100, 1200, 800}},
             {"larger than its screen", {0, 0, 2000, 1000}, Rect{0, 0, 1366, 740}},
             {"hanging off the edge", {-300, 300, 1024, 640}, Rect{0, 100, 1024, 640}},
             {"below the minimum", {10, 10, 300, 200}, Rect{10, 10, 1024, 640}},
             {"on a screen that is gone", {5000, 5000, 1024, 640}, std::nullopt},
         }) {
        SCOPED_TRACE(row.name);
        EXPECT_EQ(WindowFrameAutosave::fitted(row.saved, screens, 1024, 640), row.expected);
    }
    // A screen smaller than the preferred minimum is the minimum.
    EXPECT_EQ(WindowFrameAutosave::minimumSize(1024, 640, {0, 0, 1092, 560}),
              (std::pair{1024, 560}));
}

}  // namespace
}  // namespace tarnwick
