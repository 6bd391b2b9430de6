#include "Dispatch/ManualScheduler.h"
#include "Tools/SettingsTab.h"
#include "WidgetKit/Controls/ScanButtonView.h"

#include <QApplication>
#include <QTest>

#include <gtest/gtest.h>

namespace tarnwick {
namespace {

class ScanButtonViewTest : public ::testing::Test {
protected:
    std::unique_ptr<ScanButtonView> make(ScanButtonConfig config) {
        auto view = std::make_unique<ScanButtonView>(
            std::move(config), [this](ScanState state) { m_requests.push_back(state); }, nullptr,
            m_center, m_scheduler);
        return view;
    }
    // Lets the main queue run what the scheduler made due.
    void advance(std::chrono::milliseconds by) {
        m_scheduler.advance(by);
        QCoreApplication::processEvents();
        QCoreApplication::processEvents();
    }
    NotificationCenter m_center;
    ManualScheduler m_scheduler;
    std::vector<ScanState> m_requests;
};

TEST_F(ScanButtonViewTest, ShowsTheFaceOfEachStateOrNothing) {
    struct Row {
        const char* name;
        ScanButtonConfig config;
        ScanState state;
        const char* title;  // null: hidden
    };
    for (const Row& row : std::vector<Row>{
             {"app standBy", ScanButtonConfig::appMonitor(), ScanState::standBy, "Scan"},
             {"app active", ScanButtonConfig::appMonitor(), ScanState::active, nullptr},
             {"app done", ScanButtonConfig::appMonitor(), ScanState::done, "Rescan"},
             {"connections standBy", ScanButtonConfig::connectionsMonitor(), ScanState::standBy,
              "Start"},
             {"connections active", ScanButtonConfig::connectionsMonitor(), ScanState::active,
              "Stop"},
             {"connections done", ScanButtonConfig::connectionsMonitor(), ScanState::done,
              nullptr}}) {
        SCOPED_TRACE(row.name);
        auto view = make(row.config);
        view->setNoTargetCountryButtonHidden(false);
        view->setState(row.state);
        if (row.title == nullptr) {
            EXPECT_EQ(view->button(), nullptr);
            EXPECT_EQ(view->noTargetCountryButton(), nullptr);
        } else {
            ASSERT_NE(view->button(), nullptr);
            EXPECT_EQ(view->button()->text().toStdString(), row.title);
            EXPECT_NE(view->noTargetCountryButton(), nullptr);
        }
    }
}

TEST_F(ScanButtonViewTest, TapAsksForTheNextStateAndCoolsDown) {
    auto view = make(ScanButtonConfig::connectionsMonitor());
    view->tap();
    EXPECT_EQ(m_requests, std::vector<ScanState>{ScanState::active});
    view->setState(ScanState::active);
    advance(std::chrono::milliseconds(100));
    view->tap();  // within the cool-down
    EXPECT_EQ(m_requests.size(), 1u);
    advance(std::chrono::milliseconds(200));
    EXPECT_TRUE(view->didReset());
    view->tap();
    EXPECT_EQ(m_requests, (std::vector<ScanState>{ScanState::active, ScanState::standBy}));

    auto done = make(ScanButtonConfig::appMonitor());
    done->setState(ScanState::done);
    done->tap();
    EXPECT_EQ(m_requests.back(), ScanState::active);
}

TEST_F(ScanButtonViewTest, ReturnKeyTapsOnlyWhileEnabled) {
    auto view = make(ScanButtonConfig::appMonitor());
    view->show();
    QApplication::setActiveWindow(view.get());
    ASSERT_TRUE(QTest::qWaitForWindowActive(view.get()));
    QTest::keyClick(view.get(), Qt::Key_Return);
    EXPECT_EQ(m_requests.size(), 1u);
    advance(std::chrono::milliseconds(300));
    view->setButtonEnabled(false);
    QTest::keyClick(view.get(), Qt::Key_Return);
    EXPECT_EQ(m_requests.size(), 1u);
    QTest::mouseClick(view->button(), Qt::LeftButton);
    EXPECT_EQ(m_requests.size(), 1u);
}

TEST_F(ScanButtonViewTest, PillPostsOneSwitchToTheTargetCountriesTab) {
    std::vector<SettingsTab> posted;
    auto token = m_center.addObserver("switchScreen", nullptr, [&](const Notification& note) {
        posted.push_back(std::any_cast<SettingsTab>(note.object));
    });
    auto view = make(ScanButtonConfig::appMonitor());
    view->setButtonEnabled(false);
    view->setNoTargetCountryButtonHidden(false);
    view->resize(400, 60);
    view->show();
    QWidget* pill = view->noTargetCountryButton();
    ASSERT_NE(pill, nullptr);
    EXPECT_LE(pill->sizeHint().width(), 160);
    EXPECT_LE(pill->maximumHeight(), 28);
    QTest::mouseClick(pill, Qt::LeftButton, {}, pill->rect().center());
    EXPECT_EQ(posted, std::vector<SettingsTab>{SettingsTab::targetCoutries});
    EXPECT_GE(view->button()->minimumWidth(), 90);
    EXPECT_GE(view->button()->minimumHeight(), 34);
}

}  // namespace
}  // namespace tarnwick
