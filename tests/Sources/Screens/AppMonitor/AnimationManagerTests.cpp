#include "AppMonitorTestSupport.h"
#include "Dispatch/ManualScheduler.h"
#include "Dispatch/RunLoop.h"
#include "Screens/AppMonitor/AppMonitorViewModel.h"
#include "Tools/AnimationQueue.h"
#include "support/TemporaryDirectory.h"

#include <gtest/gtest.h>

#include <algorithm>

using namespace std::chrono_literals;

namespace tarnwick {
namespace {

using namespace tarnwick::testing;
using Status = StaticAnalysisWorkflowStatus;

// The mascot of a model whose clock the test moves; every idle pause is one second.
class MascotTest : public ::testing::Test {
protected:
    MascotTest() {
        AppMonitorViewModel::Environment environment;
        environment.folders = {m_home / "none", m_home / "none"};
        environment.undesirableCountries = &m_countries;
        environment.didFetchUndesirableCountries = [] { return true; };
        environment.preferences = &m_preferences;
        environment.scheduler = &m_clock;
        environment.denyListSession = std::make_shared<HTTPSession>();
        environment.storeSession = std::make_shared<HTTPSession>();
        environment.whois = std::make_shared<WhoIs>();
        environment.random = [](int low, int) { return low; };
        m_model = AppMonitorViewModel::make(m_center, environment);
        m_token = m_model->currentQuendleFrame().sink(
            [this](const std::string& frame) { m_frames.push_back(frame); });
    }

    // Moves the clock in small steps, running what came due.
    void advance(std::chrono::milliseconds total) {
        for (auto step = 0ms; step < total; step += 10ms) {
            m_clock.advance(10ms);
            RunLoop::main().runFor(0ms);
        }
    }
    bool shown(const std::string& frame) const {
        return std::find(m_frames.begin(), m_frames.end(), frame) != m_frames.end();
    }

    TemporaryDirectory m_home;
    NotificationCenter m_center;
    FixedCountries m_countries{{"RU"}};
    Preferences m_preferences;
    ManualScheduler m_clock;
    std::shared_ptr<AppMonitorViewModel> m_model;
    std::vector<std::string> m_frames;
    AnyCancellable m_token;
};

TEST_F(MascotTest, StandByIdlesAndBlinks) {
    advance(3s);
    EXPECT_TRUE(shown("Welcome2"));
    EXPECT_TRUE(shown("Welcome3"));
    EXPECT_FALSE(shown("Idle1"));
}

TEST_F(MascotTest, ScanThinkThenFoundAfterOneSecond) {
    m_model->setScanState(ScanState::active);
    m_model->apply(Status::starting);
    EXPECT_EQ(m_model->currentQuendleFrame().get(), "Idle1");
    advance(3s);
    EXPECT_TRUE(shown("Idle2"));
    m_model->apply(Status::analysing);
    EXPECT_TRUE(m_model->animationManager()->isAnalyzing());
    advance(4s);
    EXPECT_TRUE(shown("Suspicious2"));
    m_model->apply(Status::potentiallyUnwantedAppsFound);
    advance(900ms);
    EXPECT_FALSE(shown("Found"));
    advance(200ms);
    EXPECT_EQ(m_model->currentQuendleFrame().get(), "Found");
    EXPECT_EQ(m_model->scanState().get(), ScanState::active);
    advance(1s);
    EXPECT_EQ(m_model->scanState().get(), ScanState::done);
    EXPECT_EQ(m_model->animationManager()->scanState(), ScanState::done);
    m_frames.clear();
    advance(3s);
    EXPECT_TRUE(m_frames.empty());  // the mascot stands still on "Found"
}

TEST_F(MascotTest, ANewScanCancelsAPendingFoundStep) {
    m_model->apply(Status::starting);
    m_model->apply(Status::potentiallyUnwantedAppsFound);
    advance(500ms);
    m_model->apply(Status::starting);
    advance(3s);
    EXPECT_FALSE(shown("Found"));
    EXPECT_NE(m_model->scanState().get(), ScanState::done);
}

TEST_F(MascotTest, NothingFoundStaysHappy) {
    m_model->setScanState(ScanState::active);
    m_model->apply(Status::starting);
    advance(1s);
    m_model->apply(Status::nothingFound);
    EXPECT_EQ(m_model->currentQuendleFrame().get(), "Happy");
    EXPECT_EQ(m_model->scanState().get(), ScanState::standBy);
    EXPECT_FALSE(m_model->animationManager()->isIdle());
    m_frames.clear();
    advance(5s);
    EXPECT_TRUE(m_frames.empty());
    EXPECT_TRUE(m_model->animationManager()->animationQueue()->queue().size() <= 1u);
}

TEST(MascotThinkingTests, DuplicateSequencesAreDroppedOnce) {
    ManualScheduler clock;
    auto manager =
        std::make_shared<AppMonitorAnimationManager>(clock, [](int low, int) { return low; });
    auto& queue = manager->animationQueue()->queue();
    queue.emplace_back("QuendleBlink", std::vector<std::string>{"a"}, 1.0);
    queue.emplace_back("QuendleBlink", std::vector<std::string>{"b"}, 1.0);
    manager->startThinkingAnimation();
    ASSERT_EQ(queue.size(), 2u);
    EXPECT_EQ(queue[0].name(), "QuendleBlink");
    EXPECT_EQ(queue[1].name(), "QuendleThinking");
    EXPECT_EQ(queue[1].frames(), (std::vector<std::string>{"Suspicious1", "Suspicious2"}));
    EXPECT_TRUE(manager->isAnalyzing());
}

}  // namespace
}  // namespace tarnwick
