#include "Dispatch/ManualScheduler.h"
#include "Screens/ConnectionsMonitor/ConnectionsMonitorViewModel.h"
#include "Screens/Settings/SettingsViewModel.h"
#include "Shell/ApplicationTerminator.h"
#include "Shell/MakerLinks.h"
#include "Shell/Views/Main/CustomSystemButtons.h"
#include "Shell/Views/Main/MainView.h"
#include "Shell/Views/Main/MainWindow.h"
#include "Shell/Views/Main/MainWindowLayout.h"
#include "Shell/Views/Main/SideBarView.h"
#include "Shell/Views/Sheets/SheetWindowController.h"
#include "Tools/SettingsTab.h"
#include "support/ModelDependencies.h"

#include <QAbstractAnimation>
#include <QAbstractButton>
#include <QApplication>
#include <QGraphicsDropShadowEffect>
#include <QGraphicsOpacityEffect>
#include <QLineEdit>
#include <QMenuBar>
#include <QMouseEvent>
#include <QPointer>
#include <QPushButton>
#include <QScreen>
#include <QSignalSpy>
#include <QTest>

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>

namespace tarnwick {
namespace {

using namespace Qt::StringLiterals;

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
        result.frameStore = {[this] { return m_savedFrame; },
                             [this](const std::string& text) { m_savedFrame = text; }};
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
    std::optional<std::string> m_savedFrame;
};

TEST_F(MainWindowTest, MenuBarHasEveryMenuAndItemWithItsShortcut) {
    MainWindow window(0, dependencies());
    QStringList titles;
    for (QAction* menu : window.menus()->actions()) {
        titles << menu->text();
    }
    EXPECT_EQ(titles, (QStringList{u"Tarnwick"_s, u"Edit"_s, u"View"_s, u"Window"_s, u"Help"_s}));

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
             {"Switch to App Monitor", QKeySequence(Qt::CTRL | Qt::Key_Up)},
             {"Switch to Connection Monitor", QKeySequence(Qt::CTRL | Qt::Key_Down)},
             {"Toggle Connection Monitor", QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_F)},
             {"Enter Full Screen", QKeySequence(Qt::CTRL | Qt::META | Qt::Key_F)},
             {"Minimise", QKeySequence(Qt::CTRL | Qt::Key_M)},
             {"Zoom", {}},
             {"Bring all to front", {}},
             {"Provide Feedback...", {}}}) {
        SCOPED_TRACE(row.title);
        QAction* item = window.action(QString::fromUtf8(row.title));
        ASSERT_NE(item, nullptr);
        EXPECT_EQ(item->shortcut(), row.shortcut);
        // No window manager here hides other applications.
        if (std::string(row.title).rfind("Hide", 0) == 0) {
            EXPECT_EQ(item->isEnabled(), std::string(row.title) == "Hide Tarnwick");
        }
    }
    EXPECT_EQ(window.action(u"Undo"_s), nullptr);
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
    window.action(u"Settings..."_s)->trigger();
    window.action(u"Settings..."_s)->trigger();
    window.action(u"Switch to Connection Monitor"_s)->trigger();
    window.action(u"Toggle Connection Monitor"_s)->trigger();
    EXPECT_EQ(posted, (std::vector<std::string>{
                          "switchScreen:Restrictions", "switchScreen:Restrictions",
                          "switchScreen:Connections Monitor", "toggleConnectionMonitor"}));
    // The maker's pages are offered only by a build that has the maker's site.
    EXPECT_EQ(window.action(u"Privacy policy"_s)->isVisible(), MakerLinks::hasSite);
    EXPECT_EQ(window.action(u"User agreement"_s)->isVisible(), MakerLinks::hasSite);
    if (MakerLinks::hasSite) {
        window.action(u"Privacy policy"_s)->trigger();
        window.action(u"User agreement"_s)->trigger();
        ASSERT_EQ(m_opened.size(), 2u);
        EXPECT_EQ(m_opened[0], std::string(MakerLinks::site) + "/policy");
        EXPECT_EQ(m_opened[1], std::string(MakerLinks::site) + "/eula");
    }
    m_center.removeObserver(token);
}

TEST_F(MainWindowTest, EditCommandsActOnTheFocusedTextField) {
    MainWindow window(0, dependencies());
    auto* field = new QLineEdit(&window);
    field->setText(u"hello"_s);
    window.show();
    QApplication::setActiveWindow(&window);
    field->setFocus();
    ASSERT_TRUE(QTest::qWaitFor([&] { return field->hasFocus(); }, 2000));
    window.action(u"Select All"_s)->trigger();
    EXPECT_EQ(field->selectedText(), u"hello"_s);
    window.action(u"Cut"_s)->trigger();
    EXPECT_TRUE(field->text().isEmpty());
    window.action(u"Paste"_s)->trigger();
    EXPECT_EQ(field->text(), u"hello"_s);
}

TEST_F(MainWindowTest, QuitAndClosingAskTheTerminator) {
    int terminations = 0;
    ApplicationTerminator::setHandler([&] { ++terminations; });
    MainWindow window(0, dependencies());
    window.action(u"Quit"_s)->trigger();
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

// Every Qt warning while it lives.
class WarningLog {
public:
    WarningLog() {
        s_lines.clear();
        m_previous = qInstallMessageHandler(
            [](QtMsgType type, const QMessageLogContext&, const QString& message) {
                if (type != QtDebugMsg && type != QtInfoMsg) {
                    s_lines << message;
                }
            });
    }
    ~WarningLog() { qInstallMessageHandler(m_previous); }
    QStringList lines() const { return s_lines; }

private:
    static inline QStringList s_lines;
    QtMessageHandler m_previous;
};

TEST_F(MainWindowTest, ScreenSwitchesPaintWithoutWarnings) {
    MainWindow window(0, dependencies());
    MainWindowLayout* layout = window.mainView()->layoutView();
    // Screens holding a shadowed control, as the scan button is, and one kept invisible by its
    // opacity until the pointer is over its row, as a result row's buttons are.
    std::vector<QPointer<QGraphicsOpacityEffect>> unseen;
    layout->setScreenFactory([&unseen](Screen, QWidget* parent) {
        auto* screen = new QWidget(parent);
        auto* button = new QPushButton(u"Scan"_s, screen);
        button->move(40, 60);
        button->setGraphicsEffect(new QGraphicsDropShadowEffect(button));
        auto* rowButton = new QPushButton(u"Show in File Manager"_s, screen);
        rowButton->move(40, 160);
        auto* opacity = new QGraphicsOpacityEffect(rowButton);
        opacity->setOpacity(0);
        rowButton->setGraphicsEffect(opacity);
        unseen.emplace_back(opacity);
        return screen;
    });
    // Its opacity switched off while it is on the screen, an invisible control would show.
    const auto allUnseen = [&unseen] {
        return std::all_of(unseen.begin(), unseen.end(), [](const auto& opacity) {
            const auto* control = opacity ? qobject_cast<QWidget*>(opacity->parent()) : nullptr;
            return !control || opacity->isEnabled() || !control->isVisible();
        });
    };
    window.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&window));
    WarningLog warnings;
    for (const Screen screen : {Screen::connectionsMonitor, Screen::settings, Screen::appMonitor}) {
        m_center.post("switchScreen", screen);
        drain();
        // Painted all the way through the slide.
        bool shown = false;
        EXPECT_TRUE(QTest::qWaitFor(
            [&] {
                window.repaint();
                shown = shown || !allUnseen();
                return layout->findChild<QAbstractAnimation*>(
                           QString(), Qt::FindDirectChildrenOnly) == nullptr;
            },
            10000));
        EXPECT_FALSE(shown) << "an invisible control showed during the slide";
    }
    EXPECT_TRUE(warnings.lines().isEmpty()) << warnings.lines().join(u'\n').toStdString();
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
        auto settings = std::make_shared<SettingsViewModel>(testing::settingsDependencies());
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

TEST_F(MainWindowTest, FrameIsKeptUnderItsNameAndFittedToTheScreen) {
    const QRect screen = QGuiApplication::primaryScreen()->availableGeometry();
    {
        MainWindow window(5, dependencies());
        // A small screen: the preferred minimum gives way to the whole screen.
        EXPECT_EQ(window.minimumSize(), MainWindow::preferredMinimumSize.boundedTo(screen.size()));
        window.setGeometry(QRect(screen.topLeft(), window.minimumSize()));
        window.saveFrame();
        EXPECT_EQ(m_savedFrame, std::to_string(screen.x()) + " " + std::to_string(screen.y()) +
                                    " " + std::to_string(window.width()) + " " +
                                    std::to_string(window.height()));
    }
    // Stored frames are read as hostile text and fitted to the screen of this run.
    struct Row {
        const char* name;
        std::string stored;
    };
    for (const Row& row :
         {Row{"garbage", "not a frame"}, Row{"off every screen", "-90000 0 900 600"},
          Row{"larger than the screen", "0 0 90000 90000"}}) {
        SCOPED_TRACE(row.name);
        m_savedFrame = row.stored;
        MainWindow window(5, dependencies());
        EXPECT_TRUE(screen.contains(window.geometry()));
    }
}

TEST_F(MainWindowTest, EdgesResizeAndOnlyADragBegunOnTheWindowMovesIt) {
    MainWindow window(0, dependencies());
    window.resize(window.minimumSize());
    const int w = window.width();
    const int h = window.height();
    EXPECT_EQ(window.resizeEdges({1, 1}), Qt::LeftEdge | Qt::TopEdge);
    EXPECT_EQ(window.resizeEdges({w - 1, h / 2}), Qt::RightEdge);
    EXPECT_EQ(window.resizeEdges({w / 2, h - 2}), Qt::BottomEdge);
    EXPECT_EQ(window.resizeEdges({w / 2, h / 2}), Qt::Edges());
    // Without a compositor the mask cuts each rounded corner: its band lies along the arc, inside
    // the shape, and resizes both ways; deeper in is the window's own.
    window.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&window));
    const QRegion shape = window.mask();
    ASSERT_FALSE(shape.isEmpty());
    const int radius = static_cast<int>(window.mainView()->windowCornerRadius());
    const int onArc = radius - static_cast<int>((radius - 2) / std::sqrt(2.0));
    const int inside =
        radius - static_cast<int>((radius - MainWindow::resizeBand - 3) / std::sqrt(2.0));
    struct Corner {
        Qt::Edges edges;
        QPoint onArc, inside;
    };
    for (const Corner& corner :
         {Corner{Qt::LeftEdge | Qt::TopEdge, {onArc, onArc}, {inside, inside}},
          Corner{Qt::RightEdge | Qt::TopEdge, {w - 1 - onArc, onArc}, {w - 1 - inside, inside}},
          Corner{Qt::LeftEdge | Qt::BottomEdge, {onArc, h - 1 - onArc}, {inside, h - 1 - inside}},
          Corner{Qt::RightEdge | Qt::BottomEdge,
                 {w - 1 - onArc, h - 1 - onArc},
                 {w - 1 - inside, h - 1 - inside}}}) {
        SCOPED_TRACE(corner.edges);
        EXPECT_TRUE(shape.contains(corner.onArc));
        EXPECT_EQ(window.resizeEdges(corner.onArc), corner.edges);
        EXPECT_EQ(window.resizeEdges(corner.inside), Qt::Edges());
    }
    // Beside a corner's square the straight band holds.
    EXPECT_EQ(window.resizeEdges({2, radius + 1}), Qt::LeftEdge);
    // The close button's square reaches into the top left band; a press there is still its own.
    auto* close = window.findChild<CustomSystemButtons*>()->closeButton();
    QObject::disconnect(close, nullptr, nullptr, nullptr);
    QSignalSpy clicked(close, &QAbstractButton::clicked);
    // (Its very corner: QTest reads (0, 0) as the middle.)
    const QPoint nearCorner(1, 0);
    ASSERT_NE(window.resizeEdges(close->mapTo(&window, nearCorner)), Qt::Edges());
    QTest::mouseClick(close, Qt::LeftButton, {}, nearCorner);
    EXPECT_EQ(clicked.count(), 1);
    window.hide();

    window.move(100, 100);
    window.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&window));
    const QPoint start = window.pos();
    // A drag whose press went elsewhere (a sheet's dimmed area) does not move the window.
    QMouseEvent move(QEvent::MouseMove, QPointF(300, 300), window.mapToGlobal(QPointF(300, 300)),
                     Qt::NoButton, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(&window, &move);
    EXPECT_EQ(window.pos(), start);
}

TEST_F(MainWindowTest, FullScreenByF11LeftByEscapeAndTheItemSaysWhichItDoes) {
    MainWindow window(0, dependencies());
    window.show();
    QApplication::setActiveWindow(&window);
    ASSERT_TRUE(QTest::qWaitForWindowActive(&window));
    QTest::keyClick(&window, Qt::Key_F11);
    ASSERT_TRUE(QTest::qWaitFor([&] { return window.isFullScreen(); }));
    EXPECT_EQ(window.action(u"Exit Full Screen"_s)->shortcuts().last(), QKeySequence(Qt::Key_F11));
    EXPECT_TRUE(window.mainView()->hasSquareCorners());
    QTest::keyClick(&window, Qt::Key_Escape);
    ASSERT_TRUE(QTest::qWaitFor([&] { return !window.isFullScreen(); }));
    EXPECT_NE(window.action(u"Enter Full Screen"_s), nullptr);
    EXPECT_FALSE(window.mainView()->hasSquareCorners());
}

TEST_F(MainWindowTest, SideBarItemsAreNamedButtonsTheKeyboardReaches) {
    MainWindow window(0, dependencies());
    SideBarView* bar = window.mainView()->layoutView()->sideBar();
    std::vector<Screen> chosen;
    bar->onScreenChosen = [&](Screen screen) { chosen.push_back(screen); };
    window.show();
    QApplication::setActiveWindow(&window);
    ASSERT_TRUE(QTest::qWaitForWindowActive(&window));
    for (const auto& [screen, name] :
         {std::pair{Screen::appMonitor, "App Monitor"}, std::pair{Screen::settings, "Settings"}}) {
        SCOPED_TRACE(name);
        auto* button = qobject_cast<QAbstractButton*>(bar->button(screen));
        ASSERT_NE(button, nullptr);
        EXPECT_EQ(button->accessibleName(), QString::fromUtf8(name));
        EXPECT_EQ(button->focusPolicy() & Qt::TabFocus, Qt::TabFocus);
        button->setFocus(Qt::TabFocusReason);
        QTest::keyClick(button, Qt::Key_Space);
        ASSERT_FALSE(chosen.empty());
        EXPECT_EQ(chosen.back(), screen);
    }
}

}  // namespace
}  // namespace tarnwick
