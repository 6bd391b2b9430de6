#include "Dispatch/ManualScheduler.h"
#include "Screens/ConnectionsMonitor/ConnectionsMonitorViewModel.h"
#include "Screens/Settings/SettingsViewModel.h"
#include "Shell/ApplicationTerminator.h"
#include "Shell/Views/Main/MainView.h"
#include "Shell/Views/Main/MainWindow.h"
#include "Shell/Views/Main/MainWindowLayout.h"
#include "Shell/Views/Main/SideBarView.h"
#include "Shell/Views/Sheets/SheetWindowController.h"
#include "Tools/SettingsTab.h"

#include <QApplication>
#include <QLineEdit>
#include <QMenuBar>
#include <QTest>

#include <gtest/gtest.h>

namespace tarnwick {
namespace {

using Screen = AppActiveScreenType;

class MainWindowTest : public ::testing::Test {
protected:
    MainWindow::Dependencies dependencies() {
        MainWindow::Dependencies result;
        result.notificationCenter = &m_center;
        result.scheduler = &m_scheduler;
        result.promotionStore = {[this] { return m_launches; }, [this] { return m_didPresent; },
                                 [this] { m_didPresent = true; }};
        result.openURL = [this](const std::string& address) { m_opened.push_back(address); };
        return result;
    }
    void drain() {
        for (int i = 0; i < 3; ++i) {
            QCoreApplication::processEvents();
        }
    }
    NotificationCenter m_center;
    ManualScheduler m_scheduler;
    std::int64_t m_launches = 1;
    bool m_didPresent = false;
    std::vector<std::string> m_opened;
};

TEST_F(MainWindowTest, MenuBarHasEveryMenuAndItemWithItsShortcut) {
    MainWindow window(0, dependencies());
    QStringList titles;
    for (QAction* menu : window.menus()->actions()) {
        titles << menu->text();
    }
    EXPECT_EQ(titles, (QStringList{"Tarnwick", "Edit", "View", "Window", "Help"}));

    struct Row {
        const char* title;
        QKeySequence shortcut;
    };
    for (const Row& row : std::vector<Row>{
             {"About Tarnwick", {}},
             {"Settings...", QKeySequence(Qt::CTRL | Qt::Key_Comma)},
             {"Check for Updates", {}},
             {"Privacy policy", {}},
             {"User agreement", {}},
             {"Hide Tarnwick", QKeySequence(Qt::CTRL | Qt::Key_H)},
             {"Hide Others", QKeySequence(Qt::CTRL | Qt::ALT | Qt::Key_H)},
             {"Quit", QKeySequence(Qt::CTRL | Qt::Key_Q)},
             {"Cut", QKeySequence(Qt::CTRL | Qt::Key_X)},
             {"Copy", QKeySequence(Qt::CTRL | Qt::Key_C)},
             {"Paste", QKeySequence(Qt::CTRL | Qt::Key_V)},
             {"Select All", QKeySequence(Qt::CTRL | Qt::Key_A)},
             {"Switch to App Monitor",
              QKeySequence(QKeyCombination(Qt::ControlModifier, Qt::Key(0x2191)))},
             {"Switch to Connection Monitor",
              QKeySequence(QKeyCombination(Qt::ControlModifier, Qt::Key(0x2193)))},
             {"Toggle Connection Monitor", QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_F)},
             {"Enter Full Screen", QKeySequence(Qt::CTRL | Qt::META | Qt::Key_F)},
             {"Minimise", QKeySequence(Qt::CTRL | Qt::Key_M)},
             {"Zoom", {}},
             {"Bring all to front", {}},
             {"Provide Feedback...", {}}}) {
        SCOPED_TRACE(row.title);
        QAction* item = window.action(row.title);
        ASSERT_NE(item, nullptr);
        EXPECT_EQ(item->shortcut(), row.shortcut);
    }
    EXPECT_EQ(window.action("Undo"), nullptr);
}

TEST_F(MainWindowTest, MenuCommandsPostTheirNotificationsAndOpenTheMakersPages) {
    MainWindow window(0, dependencies());
    std::vector<std::string> posted;
    auto token = m_center.addObserver("", nullptr, [&](const Notification& notification) {
        std::string entry = notification.name;
        if (const auto* screen = std::any_cast<Screen>(&notification.object)) {
            entry += ":" + std::string(rawValue(*screen));
        } else if (const auto* tab = std::any_cast<SettingsTab>(&notification.object)) {
            entry += ":" + std::string(rawValue(*tab));
        }
        posted.push_back(entry);
    });
    window.action("Settings...")->trigger();
    window.action("Settings...")->trigger();
    window.action("Switch to Connection Monitor")->trigger();
    window.action("Toggle Connection Monitor")->trigger();
    EXPECT_EQ(posted, (std::vector<std::string>{
                          "switchScreen:Restrictions", "switchScreen:Restrictions",
                          "switchScreen:Connections Monitor", "toggleConnectionMonitor"}));
    window.action("Privacy policy")->trigger();
    window.action("User agreement")->trigger();
    ASSERT_EQ(m_opened.size(), 2u);
    EXPECT_TRUE(m_opened[0].ends_with("/policy"));
    EXPECT_TRUE(m_opened[1].ends_with("/eula"));
    m_center.removeObserver(token);
}

TEST_F(MainWindowTest, EditCommandsActOnTheFocusedTextField) {
    MainWindow window(0, dependencies());
    auto* field = new QLineEdit(&window);
    field->setText("hello");
    window.show();
    QApplication::setActiveWindow(&window);
    field->setFocus();
    ASSERT_TRUE(QTest::qWaitFor([&] { return field->hasFocus(); }, 2000));
    window.action("Select All")->trigger();
    EXPECT_EQ(field->selectedText(), "hello");
    window.action("Cut")->trigger();
    EXPECT_TRUE(field->text().isEmpty());
    window.action("Paste")->trigger();
    EXPECT_EQ(field->text(), "hello");
}

TEST_F(MainWindowTest, QuitAndClosingAskTheTerminator) {
    int terminations = 0;
    ApplicationTerminator::setHandler([&] { ++terminations; });
    MainWindow window(0, dependencies());
    window.action("Quit")->trigger();
    window.show();
    window.close();
    EXPECT_EQ(terminations, 2);
    EXPECT_TRUE(window.isVisible());
    ApplicationTerminator::setHandler(nullptr);
}

TEST_F(MainWindowTest, SwitchScreenNotificationsMoveTheLayout) {
    MainWindow window(0, dependencies());
    window.show();
    MainWindowLayout* layout = window.mainView()->layoutView();
    EXPECT_EQ(layout->model().currentScreen(), Screen::appMonitor);
    m_center.post("switchScreen", Screen::connectionsMonitor);
    drain();
    EXPECT_EQ(layout->model().currentScreen(), Screen::connectionsMonitor);
    ASSERT_NE(layout->screen(Screen::connectionsMonitor), nullptr);
    EXPECT_TRUE(layout->screen(Screen::connectionsMonitor)->isVisible());
    m_center.post("switchScreen", SettingsTab::targetCoutries);
    drain();
    EXPECT_EQ(layout->model().currentScreen(), Screen::settings);
    m_center.post("switchScreen", 42);
    drain();
    EXPECT_EQ(layout->model().currentScreen(), Screen::settings);

    // The side bar chooses directly.
    QWidget* button = layout->sideBar()->button(Screen::appMonitor);
    QTest::mouseClick(button, Qt::LeftButton, {}, button->rect().center());
    EXPECT_EQ(layout->model().currentScreen(), Screen::appMonitor);
    EXPECT_TRUE(layout->sideBar()->isSelected(Screen::appMonitor) ||
                layout->sideBar()->currentHoveredButton().has_value());
}

TEST_F(MainWindowTest, CentresOnlyOnTheFirstThreeLaunches) {
    EXPECT_TRUE(MainWindow::shouldCenter(0));
    EXPECT_TRUE(MainWindow::shouldCenter(2));
    EXPECT_FALSE(MainWindow::shouldCenter(3));
}

TEST_F(MainWindowTest, PromotionShowsOnceAfterBecomingKeyTwice) {
    m_launches = 2;
    MainWindow window(2, dependencies());
    window.show();
    QApplication::setActiveWindow(&window);
    ASSERT_TRUE(QTest::qWaitForWindowActive(&window));
    window.clearFocus();
    QApplication::setActiveWindow(nullptr);
    drain();
    QApplication::setActiveWindow(&window);
    drain();
    m_scheduler.advance(std::chrono::seconds(2));
    drain();
    ASSERT_TRUE(window.sheetWindowController()->isPresenting());
    EXPECT_TRUE(m_didPresent);
    m_scheduler.advance(std::chrono::seconds(2));
    drain();
    EXPECT_EQ(window.sheetWindowController()->currentContent()->kind(),
              SheetContentKind::iOSPromotion);
}

TEST_F(MainWindowTest, OwnsItsScreenModelsAndSaysEachTimeItBecomesKey) {
    int becameKey = 0;
    const auto observer =
        m_center.addObserver(ConnectionsMonitorViewModel::kWindowDidBecomeKeyNotification, nullptr,
                             [&becameKey](const Notification&) { ++becameKey; });
    std::weak_ptr<SettingsViewModel> built;
    MainWindow* seenBy = nullptr;
    auto withModels = dependencies();
    withModels.makeScreenModels = [&](MainWindow& window) {
        seenBy = &window;
        auto settings = std::make_shared<SettingsViewModel>();
        built = settings;
        return ScreenModels{nullptr, settings, nullptr, {}};
    };
    {
        MainWindow window(1, std::move(withModels));
        EXPECT_EQ(seenBy, &window);
        EXPECT_EQ(window.screenModels().settings, built.lock());
        window.show();
        QApplication::setActiveWindow(&window);
        ASSERT_TRUE(QTest::qWaitForWindowActive(&window));
        drain();
        QApplication::setActiveWindow(nullptr);
        drain();
        QApplication::setActiveWindow(&window);
        drain();
        EXPECT_EQ(becameKey, 2);
    }
    EXPECT_TRUE(built.expired());
    m_center.removeObserver(observer);
}

}  // namespace
}  // namespace tarnwick
