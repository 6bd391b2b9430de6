#include "../EngineFixture.h"
#include "Screens/ConnectionsMonitor/MapViewCoordinator.h"
#include "Screens/ConnectionsMonitor/Views/ConnectionMonitorView.h"
#include "Screens/ConnectionsMonitor/Views/MapView.h"
#include "support/Screenshots.h"

#include <QApplication>
#include <QTest>

namespace tarnwick::testing {
namespace {

using namespace Qt::StringLiterals;

void save(QWidget* widget, const QString& name) {
    saveScreenshot(widget, QStringLiteral(TARNWICK_SCREENSHOT_DIR), name);
}

// The Connections Monitor screen in each of its bodies, over a real engine with a few recorded
// connections, light and dark.
class ConnectionMonitorScreenshots : public EngineFixture,
                                     public ::testing::WithParamInterface<bool> {
public:
    void TearDown() override { drainMainQueue(); }
    void record(const std::string& bundleId, const std::string& address, const std::string& url,
                bool allowed) {
        engine().recordHit({{"bundleId", bundleId}, {"remoteAddress", address}, {"url", url}},
                           allowed);
        drainMainQueue();
    }
    // Lets what the last change set off run its course through the main queue and Qt's, then
    // waits until nothing moves (the map travelling to its region, the list's rows sliding open).
    void settle() {
        for (int i = 0; i < 10; ++i) {
            drainMainQueue();
            QCoreApplication::processEvents();
        }
        ASSERT_TRUE(waitUntilAtRest());
    }
};

TEST_P(ConnectionMonitorScreenshots, SavesEachBody) {
    const QString suffix = GetParam() ? u"dark"_s : u"light"_s;
    applyScreenshotAppearance(GetParam());
    engine();
    auto scene = std::make_shared<MapScene>();
    scene->setShowsUserLocation(true);
    auto coordinator = std::make_shared<MapViewCoordinator>(
        scene, [](const CLLocationCoordinate2D& at) -> std::optional<std::string> {
            return at.latitude > 54 ? "Moscow" : "Berlin";
        });
    engine().setMapCoordinator(coordinator);
    ConnectionMonitorView::Services services;
    services.notificationCenter = &center;
    services.scheduler = &clock;
    auto atlas = WorldAtlas::read(TARNWICK_WORLD_ATLAS);
    ASSERT_TRUE(atlas) << atlas.error();
    auto shapes = std::make_shared<const WorldAtlas>(std::move(atlas).value());
    services.makeMap = [scene, shapes](QWidget* parent) {
        return new MapView(scene, shapes, parent);
    };
    ConnectionMonitorView screen(m_engine, services);
    screen.resize(1100, 680);
    screen.setAutoFillBackground(true);
    engine().isInstalled.set(false);
    screen.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&screen));
    ASSERT_NO_FATAL_FAILURE(settle());
    ASSERT_EQ(pictureFaults(
                  &screen, {},
                  {u"Connection Monitor"_s, u"To enable Connection Monitor"_s, u"Let's do it!"_s}),
              "");
    save(&screen, u"connections-monitor-install-"_s + suffix);

    engine().isInstalled.set(true);
    engine().currentWumbleFrame.set("WumbleIdle2");
    ASSERT_NO_FATAL_FAILURE(settle());
    ASSERT_EQ(pictureFaults(&screen, {},
                            {u"Start"_s, u"Your live connection data will appear here..."_s}),
              "");
    save(&screen, u"connections-monitor-standby-"_s + suffix);

    record("org.alpha.Mail", kGermanServer, "https://mail.example.de/", true);
    record("org.beta.Chat", kGermanServer, "https://chat.example.de/", true);
    record("org.beta.Chat", kRussianServer, "https://chat.example.ru/", true);
    record("org.beta.Chat", "127.0.0.1", "http://localhost:8080/", true);
    record("org.gamma.Updater", kRussianServer, "https://update.example.ru/", false);
    ASSERT_TRUE(waitFor([&] {
        for (const auto& application : engine().applications()) {
            for (const auto& hit : application->children.get()) {
                if (!hit->isGeoAvailable()) {
                    return false;
                }
            }
        }
        return true;
    }));
    engine().didInitiate.set(true);
    // The user in Lisbon, the map allowed.
    coordinator->setUserLocation(MapCoordinator::Coordinates{38.72, -9.14});
    engine().showsMap.set(true);
    engine().setExpandedInfoForApp(engine().applications()[1]);
    ASSERT_NO_FATAL_FAILURE(settle());
    const QStringList listed{u"Connection list"_s, u"Show compromised only"_s,
                             u"org.beta.Chat"_s,   u"https://chat.example.de/"_s,
                             u"Germany"_s,         u"https://chat.example.ru/"_s,
                             u"Russia"_s,          u"http://localhost:8080/"_s,
                             u"Local"_s,           u"org.gamma.Updater"_s,
                             u"org.alpha.Mail"_s,  u"Connection Map"_s};
    ASSERT_EQ(pictureFaults(&screen, {screen.findChild<MapView*>()}, listed), "");
    save(&screen, u"connections-monitor-list-"_s + suffix);

    engine().isConnectedToNetwork.set(false);
    ASSERT_NO_FATAL_FAILURE(settle());
    ASSERT_EQ(pictureFaults(&screen, {}, {u"No internet connection"_s, u"org.beta.Chat"_s}), "");
    save(&screen, u"connections-monitor-offline-"_s + suffix);

    // No location service on this desktop: "Activate the Map" shows the servers' circles and
    // city names without lines, and says why.
    engine().isConnectedToNetwork.set(true);
    coordinator->setUserLocation(std::nullopt);
    engine().showsMap.set(false);
    engine().showMap();
    ASSERT_NO_FATAL_FAILURE(settle());
    ASSERT_TRUE(engine().showsMap.get());
    engine().setExpandedInfoForApp(nullptr);
    engine().setExpandedInfoForApp(engine().applications()[1]);
    ASSERT_NO_FATAL_FAILURE(settle());
    ASSERT_EQ(pictureFaults(&screen, {screen.findChild<MapView*>()},
                            listed + QStringList{u"This computer has no location service"_s}),
              "");
    save(&screen, u"connections-monitor-map-without-location-"_s + suffix);
}

INSTANTIATE_TEST_SUITE_P(Appearances, ConnectionMonitorScreenshots, ::testing::Values(false, true),
                         [](const auto& param) { return param.param ? "Dark" : "Light"; });

}  // namespace
}  // namespace tarnwick::testing
