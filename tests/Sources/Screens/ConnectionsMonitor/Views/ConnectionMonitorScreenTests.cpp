#include "../EngineFixture.h"
#include "Screens/ConnectionsMonitor/Views/ClearAllButton.h"
#include "Screens/ConnectionsMonitor/Views/ConnectionMonitorCellView.h"
#include "Screens/ConnectionsMonitor/Views/ConnectionMonitorHitCellView.h"
#include "Screens/ConnectionsMonitor/Views/ConnectionMonitorInstallView.h"
#include "Screens/ConnectionsMonitor/Views/ConnectionMonitorView.h"
#include "Screens/ConnectionsMonitor/Views/ConnectionsMonitorHeader.h"
#include "Screens/ConnectionsMonitor/Views/ConnectionsMonitorInProgressView.h"
#include "Screens/ConnectionsMonitor/Views/ConnectionsMonitorStandByView.h"
#include "Screens/ConnectionsMonitor/Views/ConnetionsMonitorSearchFilter.h"
#include "Shell/Views/Main/MainWindowLayout.h"
#include "Shell/Views/Main/ScreenPlaceholderView.h"
#include "WidgetKit/Controls/CustomCheckMarkView.h"
#include "WidgetKit/Controls/NoNetworkPopUp.h"
#include "WidgetKit/Controls/ScanButtonView.h"

#include <QApplication>
#include <QClipboard>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>

namespace tarnwick::testing {
namespace {

using namespace Qt::StringLiterals;

// The screen over a real engine (fake extension managers, loopback geo-IP).
class ConnectionMonitorScreen : public EngineFixture {
public:
    // Work the screen queued (a filter refresh) runs while the fakes it reaches still exist.
    void TearDown() override { drainMainQueue(); }

    std::unique_ptr<ConnectionMonitorView> makeScreen(std::function<void()> move = {}) {
        ConnectionMonitorView::Services services;
        services.notificationCenter = &center;
        services.scheduler = &clock;
        services.moveToApplications = std::move(move);
        auto screen = std::make_unique<ConnectionMonitorView>(model(), services);
        screen->resize(1000, 640);
        return screen;
    }
    std::shared_ptr<ConnectionsMonitorViewModel> model() {
        engine();
        return m_engine;
    }
    void record(const std::string& bundleId, const std::string& address, const std::string& url,
                bool allowed = true) {
        engine().recordHit({{"bundleId", bundleId}, {"remoteAddress", address}, {"url", url}},
                           allowed);
        drainMainQueue();
    }
    bool waitForGeo() {
        return waitFor([&] {
            for (const auto& application : engine().applications()) {
                for (const auto& hit : application->children.get()) {
                    if (!hit->isGeoAvailable()) {
                        return false;
                    }
                }
            }
            return true;
        });
    }
};

TEST_F(ConnectionMonitorScreen, BodyFollowsInstalledAndInitiated) {
    struct Row {
        bool installed, initiated;
        ConnectionMonitorView::Body body;
        const char* viewClass;
    };
    const Row rows[] = {
        {false, false, ConnectionMonitorView::Body::install,
         "tarnwick::ConnectionMonitorInstallView"},
        {false, true, ConnectionMonitorView::Body::install,
         "tarnwick::ConnectionMonitorInstallView"},
        {true, false, ConnectionMonitorView::Body::standBy,
         "tarnwick::ConnectionsMonitorStandByView"},
        {true, true, ConnectionMonitorView::Body::inProgress,
         "tarnwick::ConnectionsMonitorInProgressView"},
    };
    auto screen = makeScreen();
    for (const Row& row : rows) {
        SCOPED_TRACE(row.viewClass);
        engine().isInstalled.set(row.installed);
        engine().didInitiate.set(row.initiated);
        EXPECT_EQ(screen->body(), row.body);
        ASSERT_TRUE(screen->bodyView());
        EXPECT_STREQ(screen->bodyView()->metaObject()->className(), row.viewClass);
        // The scan button is there only for an installed application.
        EXPECT_EQ(screen->header()->scanButton()->isVisibleTo(screen.get()), row.installed);
    }
}

// Every word the screen shows or offers as a tooltip, in each of its bodies.
QStringList shownTexts(const QWidget& root) {
    QStringList texts;
    for (const QWidget* widget : root.findChildren<QWidget*>()) {
        if (const auto* label = qobject_cast<const QLabel*>(widget)) {
            texts << label->text();
        } else if (const auto* button = qobject_cast<const QAbstractButton*>(widget)) {
            texts << button->text();
        }
        if (!widget->toolTip().isEmpty()) {
            texts << widget->toolTip();
        }
    }
    return texts;
}

TEST_F(ConnectionMonitorScreen, ShowsItsTextsWordForWord) {
    struct Row {
        bool installed, initiated;
        std::vector<QString> texts;
    };
    const QString header[] = {
        u"Connection Monitor"_s,
        u"Examine web traffic of apps and processes running on your computer"_s, u"Configuring"_s};
    const Row rows[] = {
        {false,
         false,
         {u"To enable Connection Monitor, please, move Tarnwick to Applications folder"_s,
          u"Let's do it!"_s,
          u"Tarnwick uses System Network Extension to monitor internet traffic and it is only "
          u"available for apps in Application directory"_s}},
        {true, false, {u"Your live connection data will appear here..."_s}},
        {true,
         true,
         {u"Connection list"_s, u"Show compromised only"_s, u"Connection Map"_s,
          u"Allow Tarnwick access to location services to enable interactive map of "
          u"connections."_s,
          u"Activate the Map"_s, u"Clear all results and start over"_s, u"Nothing here yet..."_s}},
    };
    auto screen = makeScreen();
    for (const Row& row : rows) {
        SCOPED_TRACE(row.texts.front().toStdString());
        engine().isInstalled.set(row.installed);
        engine().didInitiate.set(row.initiated);
        const QStringList shown = shownTexts(*screen);
        for (const QString& text : header) {
            EXPECT_TRUE(shown.contains(text)) << text.toStdString();
        }
        for (const QString& text : row.texts) {
            EXPECT_TRUE(shown.contains(text)) << text.toStdString();
        }
    }
}

TEST_F(ConnectionMonitorScreen, InstallPromptMovesOnReturnAndStandByFollowsTheMascot) {
    int moves = 0;
    auto screen = makeScreen([&] { ++moves; });
    engine().isInstalled.set(false);
    screen->show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(screen.get()));
    QTest::keyClick(screen.get(), Qt::Key_Return);
    EXPECT_EQ(moves, 1);

    engine().isInstalled.set(true);
    auto* standBy = qobject_cast<ConnectionsMonitorStandByView*>(screen->bodyView());
    ASSERT_TRUE(standBy);
    engine().currentWumbleFrame.set("WumbleIdle3");
    EXPECT_EQ(standBy->frameName(), u"WumbleIdle3"_s);
}

TEST_F(ConnectionMonitorScreen, ShowingTheScreenCopiesTheCountryFlagAndRefreshesTheFilterOnce) {
    auto screen = makeScreen();
    const int loads = filterManager.loads;
    screen->show();
    drainMainQueue();
    EXPECT_TRUE(engine().isUndesirableCountriesListFetched.get());
    EXPECT_TRUE(screen->header()->scanButton()->noTargetCountryButton() == nullptr);
    EXPECT_GT(filterManager.loads, loads);
}

TEST_F(ConnectionMonitorScreen, OfflineShowsTheBannerAndDisablesTheButton) {
    auto screen = makeScreen();
    engine().isInstalled.set(true);
    screen->show();
    engine().isConnectedToNetwork.set(false);
    EXPECT_TRUE(screen->noNetworkPopUp()->isVisible());
    ASSERT_TRUE(screen->header()->scanButton()->button());
    EXPECT_FALSE(screen->header()->scanButton()->button()->isEnabled());
    engine().isConnectedToNetwork.set(true);
    EXPECT_FALSE(screen->noNetworkPopUp()->isVisible());
    EXPECT_TRUE(screen->header()->scanButton()->button()->isEnabled());
}

TEST_F(ConnectionMonitorScreen, ButtonStartsOrStopsByStatusAndAlwaysWritesTheState) {
    using Status = ConnectionsMonitorViewModel::Status;
    auto screen = makeScreen();
    engine().isInstalled.set(true);

    // Stopped: starts (the explanation sheet comes first) and takes the reported state.
    engine().status.set(Status::stopped);
    screen->header()->buttonAction(ScanState::active);
    EXPECT_TRUE(engine().didInitiate.get());
    EXPECT_EQ(sheets->presented, 1);
    EXPECT_EQ(engine().scanState.get(), ScanState::active);

    // Configuring and indeterminate start and stop nothing.
    for (const auto status : {Status::configuring, Status::indeterminate}) {
        engine().status.set(status);
        screen->header()->buttonAction(ScanState::standBy);
        EXPECT_EQ(engine().status.get(), status);
        EXPECT_EQ(sheets->presented, 1);
        EXPECT_EQ(engine().scanState.get(), ScanState::standBy);
    }

    // Running: stops; with the filter off that ends in stopped.
    engine().status.set(Status::running);
    screen->header()->buttonAction(ScanState::standBy);
    drainMainQueue();
    EXPECT_EQ(engine().status.get(), Status::stopped);
}

TEST_F(ConnectionMonitorScreen, ConfiguringShowsWhileTheFirstSetUpRunsAndGoesWithIt) {
    auto screen = makeScreen();
    const auto* header = screen->header();
    engine().refreshFilterStatus();
    for (int i = 0; i < 5; ++i) {
        drainMainQueue();
    }
    ASSERT_TRUE(header->configuringIndicator()->isVisibleTo(screen.get()));
    EXPECT_FALSE(header->scanButton()->isEnabled());

    // The set-up ends a second later with the filter switched off: Start is ready.
    advance(1000ms);
    drainMainQueue();
    EXPECT_EQ(engine().status.get(), ConnectionsMonitorViewModel::Status::stopped);
    EXPECT_FALSE(header->configuringIndicator()->isVisibleTo(screen.get()));
    EXPECT_TRUE(header->scanButton()->isEnabled());
}

TEST_F(ConnectionMonitorScreen, CancellingTheExplanationReturnsTheButtonToStart) {
    auto screen = makeScreen();
    auto* button = screen->header()->scanButton();
    ASSERT_EQ(button->button()->text(), u"Start"_s);
    button->tap();
    ASSERT_TRUE(sheets->cancelAction);
    EXPECT_EQ(button->button()->text(), u"Stop"_s);

    sheets->cancelAction();
    drainMainQueue();
    EXPECT_EQ(button->button()->text(), u"Start"_s);
    EXPECT_EQ(engine().scanState.get(), ScanState::standBy);
    EXPECT_EQ(engine().status.get(), ConnectionsMonitorViewModel::Status::stopped);
    EXPECT_TRUE(extensionManager.requests.empty());

    // Start again asks again.
    advance(1s);
    button->tap();
    EXPECT_EQ(sheets->presented, 2);
}

// A hit of its own, its geo answer given by hand: the row's look per state.
class HitRowLooks : public EngineFixture {
public:
    std::shared_ptr<Hit> makeHit(bool allowed, const std::optional<WhoIs::Response>& geo,
                                 const std::optional<std::string>& host = std::nullopt) {
        auto environment = std::make_shared<HitEnvironment>();
        environment->undesirableCountries = &countries;
        environment->countryName = [](const std::string& code) -> std::optional<std::string> {
            return code == "DE" ? "germany" : code == "RU" ? "RUSSIA" : code;
        };
        auto hit = std::make_shared<Hit>("198.51.100.7", "https://example.org/", host, allowed,
                                         environment);
        if (geo) {
            hit->handleWhoisResult(geo);
        }
        return hit;
    }
};

TEST_F(HitRowLooks, DotBadgeOpacityCountryAndTooltipFollowTheHit) {
    const WhoIs::Response russia{"198.51.100.7", "RU", WhoIs::Response::Coordinates{55.7, 37.6},
                                 false};
    const WhoIs::Response germany{"198.51.100.7", "DE", std::nullopt, false};
    const WhoIs::Response local{"127.0.0.1", "local", std::nullopt, true};
    struct Row {
        const char* name;
        bool allowed;
        std::optional<WhoIs::Response> geo;
        const char* dot;
        std::optional<ConnectionSafetyIndicatorType> badge;
        double opacity;
        const char* country;
        const char* tooltip;
        bool flag;
    };
    const Row rows[] = {
        {"allowed, safe country", true, germany, "connected", std::nullopt, 1.0, "Germany",
         "The IP address is originated from germany", true},
        {"allowed, target country", true, russia, "compromised",
         ConnectionSafetyIndicatorType::compromised, 1.0, "Russia",
         "The IP address is originated from RUSSIA", true},
        {"denied, target country", false, russia, "blocked", ConnectionSafetyIndicatorType::blocked,
         0.6, "Russia", "The IP address is originated from RUSSIA", true},
        {"denied, safe country", false, germany, "blocked", std::nullopt, 0.6, "Germany",
         "The IP address is originated from germany", true},
        {"local", true, local, "connected", std::nullopt, 1.0, "Local", "Localhost connection",
         false},
        {"before the geo answer", true, std::nullopt, "connected", std::nullopt, 1.0, "", "",
         false},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        ConnectionMonitorHitCellView view(makeHit(row.allowed, row.geo));
        EXPECT_EQ(view.statusColorName(), QString::fromUtf8(row.dot));
        EXPECT_EQ(view.badgeType(), row.badge);
        EXPECT_DOUBLE_EQ(view.contentOpacity(), row.opacity);
        EXPECT_EQ(view.countryText(), QString::fromUtf8(row.country));
        EXPECT_EQ(view.countryToolTip(), QString::fromUtf8(row.tooltip));
        EXPECT_EQ(view.showsFlag(), row.flag);
        EXPECT_EQ(view.countText(), u"1"_s);
    }
}

TEST_F(HitRowLooks, RedrawsOnChangeAndALongPressCopiesTheAddress) {
    auto hit = makeHit(true, std::nullopt, "found.example.org");
    ConnectionMonitorHitCellView view(hit);
    view.resize(800, 58);
    view.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&view));
    hit->countRepeat(false);
    EXPECT_EQ(view.countText(), u"2"_s);
    EXPECT_EQ(view.statusColorName(), u"blocked"_s);

    QApplication::clipboard()->clear();
    // A short press copies nothing; one held for half a second copies the host text.
    QTest::mousePress(view.hostLabel(), Qt::LeftButton);
    QTest::mouseRelease(view.hostLabel(), Qt::LeftButton, {}, {}, 100);
    EXPECT_TRUE(QApplication::clipboard()->text().isEmpty());
    QTest::mousePress(view.addressLabel(), Qt::LeftButton);
    EXPECT_TRUE(QTest::qWaitFor([&] { return view.isCopyingIP(); }));
    EXPECT_EQ(QApplication::clipboard()->text(), u"198.51.100.7"_s);
    QTest::mouseRelease(view.addressLabel(), Qt::LeftButton);
    EXPECT_TRUE(QTest::qWaitFor([&] { return !view.isCopyingIP(); }));
}

TEST(ConnectionSafetyIndicatorType, OnlyTheThreeTitlesNameAKind) {
    EXPECT_EQ(connectionSafetyIndicatorType("Compromised"),
              ConnectionSafetyIndicatorType::compromised);
    EXPECT_EQ(connectionSafetyIndicatorType("Blocked"), ConnectionSafetyIndicatorType::blocked);
    EXPECT_EQ(connectionSafetyIndicatorType("Safe"), ConnectionSafetyIndicatorType::safe);
    for (const char* other : {"", "safe", "Compromised ", "Unsafe"}) {
        EXPECT_FALSE(connectionSafetyIndicatorType(other)) << other;
    }
}

TEST_F(ConnectionMonitorScreen, ListExpandsOneApplicationDimsSearchMissesAndSurvivesClearing) {
    record("org.alpha.Mail", kGermanServer, "https://mail.example.de/");
    record("org.beta.Chat", kGermanServer, "https://chat.example.de/");
    record("org.beta.Chat", kRussianServer, "https://chat.example.ru/");
    ASSERT_TRUE(waitForGeo());
    ConnectionsMonitorInProgressView list(model(), {});
    list.resize(900, 600);
    auto rows = list.rows();
    ASSERT_EQ(rows.size(), 2u);
    // The application with a warning comes first.
    EXPECT_EQ(rows[0]->badgeType(), ConnectionSafetyIndicatorType::compromised);
    EXPECT_EQ(rows[1]->badgeType(), ConnectionSafetyIndicatorType::safe);
    EXPECT_FALSE(rows[0]->isLast());
    EXPECT_TRUE(rows[1]->isLast());

    // A click is handled one turn later; one application is expanded at a time.
    rows[0]->click();
    EXPECT_FALSE(rows[0]->isExpanded());
    drainMainQueue();
    EXPECT_TRUE(rows[0]->isExpanded());
    ASSERT_EQ(rows[0]->hitRows().size(), 2u);
    rows[1]->click();
    drainMainQueue();
    EXPECT_TRUE(rows[1]->isExpanded());
    EXPECT_FALSE(rows[0]->isExpanded());
    rows[0]->click();
    drainMainQueue();

    // The keyboard reaches each row and opens and closes it.
    EXPECT_EQ(rows[0]->focusPolicy() & Qt::TabFocus, Qt::TabFocus);
    for (const auto& [key, expanded] :
         std::vector<std::pair<Qt::Key, bool>>{{Qt::Key_Space, true},
                                               {Qt::Key_Left, false},
                                               {Qt::Key_Right, true},
                                               {Qt::Key_Right, true},
                                               {Qt::Key_Return, false}}) {
        QTest::keyClick(rows[1], key);
        drainMainQueue();
        EXPECT_EQ(rows[1]->isExpanded(), expanded) << QKeySequence(key).toString().toStdString();
    }
    QTest::keyClick(rows[0], Qt::Key_Space);
    drainMainQueue();
    ASSERT_TRUE(rows[0]->isExpanded());

    // Searching dims the servers outside the result instead of hiding them.
    engine().setSearchFilterText("ru");
    advance(300ms);
    ASSERT_TRUE(waitFor([&] { return engine().filteredHits.get().has_value(); }));
    rows = list.rows();
    ASSERT_EQ(rows.size(), 1u);
    auto hits = rows[0]->hitRows();
    ASSERT_EQ(hits.size(), 2u);
    EXPECT_EQ(hits[0]->hostText(), u"https://chat.example.ru/"_s);
    EXPECT_DOUBLE_EQ(rows[0]->opacityOf(hits[0]), 1.0);
    EXPECT_DOUBLE_EQ(rows[0]->opacityOf(hits[1]), 0.5);
    engine().setSearchFilterText("");

    // Compromised only: the expanded row lists only its warnings.
    list.compromisedLabel()->setAttribute(Qt::WA_UnderMouse);
    QTest::mouseClick(list.compromisedLabel(), Qt::LeftButton);
    EXPECT_TRUE(engine().showOnlyCompromised().get());
    EXPECT_TRUE(list.compromisedCheckMark()->isChecked());
    rows = list.rows();
    ASSERT_EQ(rows.size(), 1u);
    ASSERT_EQ(rows[0]->hitRows().size(), 1u);
    EXPECT_EQ(rows[0]->hitRows()[0]->hit()->remoteAddress(), kRussianServer);

    // The clear-all button is absent while monitoring runs.
    engine().scanState.set(ScanState::active);
    EXPECT_TRUE(list.clearAllButton()->isHidden() || !list.clearAllButton()->isVisibleTo(&list));
    engine().scanState.set(ScanState::standBy);
    list.clearAllButton()->click();
    drainMainQueue();
    EXPECT_TRUE(list.rows().empty());
    EXPECT_EQ(list.statusText()->text(), u"Nothing here yet..."_s);
    engine().setShowOnlyCompromised(false);
    record("org.gamma.Tool", kGermanServer, "https://tool.example.de/");
    EXPECT_EQ(list.rows().size(), 1u);
}

TEST_F(ConnectionMonitorScreen, EmptyListSaysWhatTheRepairIsDoing) {
    ConnectionsMonitorInProgressView list(model(), {});
    EXPECT_EQ(list.statusText()->text(), u"Nothing here yet..."_s);
    engine().setIsFixingBrokenExtension(true);
    EXPECT_EQ(list.statusText()->text(), u"Fixing your Network Scanner..."_s);
    engine().didReplaceExtension.set(true);
    EXPECT_EQ(list.statusText()->text(), u"Updating your Network Scanner..."_s);
    engine().setIsFixingBrokenExtension(false);
}

TEST_F(ConnectionMonitorScreen, ApplicationWithoutHitsHasNoChevronAndDoesNotExpand) {
    auto application = std::make_shared<Application>(
        Application::FlowInfo{{"bundleId", "org.empty.App"}}, Workspace::shared(), nullptr);
    engine().setApplications({application});
    ConnectionsMonitorInProgressView list(model(), {});
    ASSERT_EQ(list.rows().size(), 1u);
    EXPECT_FALSE(list.rows()[0]->showsChevron());
    list.rows()[0]->click();
    drainMainQueue();
    EXPECT_FALSE(list.rows()[0]->isExpanded());
    EXPECT_FALSE(engine().expandedInfoForApp().get());
}

TEST_F(ConnectionMonitorScreen, TheMainLayoutShowsItInPlaceOfTheStandIn) {
    MainWindowLayout layout(center);
    layout.resize(1100, 680);
    center.post("switchScreen", AppActiveScreenType::connectionsMonitor);
    drainMainQueue();
    ASSERT_TRUE(QTest::qWaitFor(
        [&] { return layout.screen(AppActiveScreenType::connectionsMonitor) != nullptr; }));
    EXPECT_TRUE(qobject_cast<ScreenPlaceholderView*>(
        layout.screen(AppActiveScreenType::connectionsMonitor)));

    // The factory arrives after the layout: the stand-in already built gives way to the screen.
    layout.setScreenFactory([this](AppActiveScreenType type, QWidget* parent) -> QWidget* {
        if (type != AppActiveScreenType::connectionsMonitor) {
            return nullptr;
        }
        ConnectionMonitorView::Services services;
        services.notificationCenter = &center;
        services.scheduler = &clock;
        return new ConnectionMonitorView(model(), services, parent);
    });
    EXPECT_TRUE(qobject_cast<ConnectionMonitorView*>(
        layout.screen(AppActiveScreenType::connectionsMonitor)));
}

TEST(ConnetionsMonitorSearchFilter, FoldsOnceHalfASecondAfterTheLastEmptyScheduling) {
    ConnetionsMonitorSearchFilter filter;
    filter.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&filter));
    QEnterEvent enter(QPointF(5, 5), QPointF(5, 5), QPointF(5, 5));
    QEvent leave(QEvent::Leave);
    QApplication::sendEvent(&filter, &enter);
    EXPECT_TRUE(filter.isHovered());
    EXPECT_EQ(filter.width(), ConnetionsMonitorSearchFilter::kExpandedWidth);

    // Leaving and coming back within the delay keeps it open.
    QApplication::sendEvent(&filter, &leave);
    EXPECT_TRUE(filter.isCollapsePending());
    QApplication::sendEvent(&filter, &enter);
    EXPECT_FALSE(filter.isCollapsePending());

    // Text keeps it open after the pointer leaves.
    QString typed;
    filter.onTextChanged = [&](const QString& text) { typed = text; };
    QTest::keyClicks(filter.field(), u"ru"_s);
    EXPECT_EQ(typed, u"ru"_s);
    QApplication::sendEvent(&filter, &leave);
    EXPECT_FALSE(filter.isCollapsePending());

    // Emptying it schedules the fold; a second schedule restarts the one timer.
    filter.setText(u""_s);
    EXPECT_TRUE(filter.isCollapsePending());
    QApplication::sendEvent(&filter, &leave);
    EXPECT_TRUE(filter.isHovered());
    EXPECT_TRUE(QTest::qWaitFor([&] { return !filter.isHovered(); }, 2000));
    EXPECT_EQ(filter.width(), ConnetionsMonitorSearchFilter::kCollapsedWidth);
    EXPECT_FALSE(filter.isCollapsePending());
}

}  // namespace
}  // namespace tarnwick::testing
