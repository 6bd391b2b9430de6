#include "../EngineFixture.h"
#include "../ManualLocationProvider.h"
#include "Screens/ConnectionsMonitor/Views/ConnectionsMonitorInProgressView.h"
#include "Tools/SettingsKey.h"

#include <QApplication>
#include <QLabel>
#include <QPushButton>
#include <QTest>
#include <QWindow>

namespace tarnwick::testing {
namespace {

using Status = LocationProvider::AuthorizationStatus;

// The map panel over a real engine whose location service the test answers for.
class MapPanel : public EngineFixture {
public:
    void TearDown() override { drainMainQueue(); }

    ConnectionsMonitorViewModel& startEngine() {
        auto made = dependencies();
        made.locationManager = locationManager;
        m_engine = ConnectionsMonitorViewModel::create(std::move(made));
        drainMainQueue();
        return *m_engine;
    }
    std::unique_ptr<ConnectionsMonitorInProgressView> makePanel() {
        auto view = std::make_unique<ConnectionsMonitorInProgressView>(
            m_engine, [](QWidget* parent) { return new QWidget(parent); });
        view->resize(900, 600);
        return view;
    }
    // What a window of the application becoming active does.
    static void activateAWindow() {
        QWindow window;
        Q_EMIT qApp->focusWindowChanged(&window);
        drainMainQueue();
    }
    static bool shows(QWidget* widget) { return widget && !widget->isHidden(); }

    std::shared_ptr<ManualLocationProvider> provider = std::make_shared<ManualLocationProvider>();
    std::shared_ptr<RecordingURLOpener> opener = std::make_shared<RecordingURLOpener>(false);
    std::shared_ptr<LocationManager> locationManager =
        std::make_shared<LocationManager>(provider, opener);
};

// Where the location cannot be had, "Activate the Map" still shows the map (servers without the
// user's lines) and says in plain words why the position is missing; where the settings could
// be opened, the user is sent there and the prompt stays until the permission arrives.
TEST_F(MapPanel, ActivatingWithoutALocationShowsTheMapAndSaysWhy) {
    const struct {
        const char* name;
        bool hasService;
        bool settingsOpen;
        const char* note;  // part of it; none: the prompt stays
    } cases[] = {
        {"no location service", false, true, "no location service"},
        {"refused, no settings program", true, false, "no location settings"},
        {"refused, settings opened", true, true, nullptr},
    };
    for (const auto& row : cases) {
        SCOPED_TRACE(row.name);
        Settings::set(std::nullopt, SettingsKey::isUserLocationAllowed);
        provider = std::make_shared<ManualLocationProvider>();
        provider->hasService = row.hasService;
        provider->answer = Status::denied;
        opener = std::make_shared<RecordingURLOpener>(row.settingsOpen);
        locationManager = std::make_shared<LocationManager>(provider, opener);
        startEngine();
        const auto view = makePanel();
        ASSERT_TRUE(shows(view->mapPrompt()));

        view->mapPrompt()->findChild<QPushButton*>(QStringLiteral("ActivateMapButton"))->click();
        drainMainQueue();
        EXPECT_EQ(opener->opened, std::vector<std::string>{LocationManager::kLocationServicesURL});
        if (!row.note) {
            EXPECT_FALSE(m_engine->showsMap.get());
            EXPECT_TRUE(shows(view->mapPrompt()));
            EXPECT_FALSE(shows(view->mapNote()));
            continue;
        }
        EXPECT_TRUE(m_engine->showsMap.get());
        EXPECT_FALSE(shows(view->mapPrompt()));
        EXPECT_TRUE(shows(view->mapView()));
        ASSERT_TRUE(shows(view->mapNote()));
        EXPECT_TRUE(view->mapNote()->text().contains(QLatin1String(row.note)))
            << view->mapNote()->text().toStdString();
        // Coming back to the application does not take that map away again.
        activateAWindow();
        EXPECT_TRUE(m_engine->showsMap.get());

        // A permission arriving later puts the position on the map and the note away.
        provider->settle(Status::authorizedAlways);
        EXPECT_TRUE(m_engine->showsMap.get());
        EXPECT_FALSE(shows(view->mapNote()));
    }
}

// The service forgets the permission between launches: a user who allowed it before finds the
// map at the next launch without pressing "Activate the Map", and is not sent to the settings.
TEST_F(MapPanel, APermissionGivenBeforeIsAskedForAtStartUp) {
    Settings::set(Value(true), SettingsKey::isUserLocationAllowed);
    provider->answer = Status::authorizedAlways;
    startEngine();
    EXPECT_EQ(provider->requests, 1);
    EXPECT_TRUE(m_engine->showsMap.get());
    EXPECT_TRUE(opener->opened.empty());
    const auto view = makePanel();
    EXPECT_TRUE(shows(view->mapView()));
    EXPECT_FALSE(shows(view->mapNote()));
}

// Withdrawn in the desktop's settings, the permission is missed when the user comes back to
// the application: the map falls back to the prompt; given again, the map returns.
TEST_F(MapPanel, ComingBackToTheApplicationAsksTheServiceAgain) {
    provider->status = Status::authorizedAlways;
    startEngine();
    const auto view = makePanel();
    ASSERT_TRUE(shows(view->mapView()));

    provider->answer = Status::denied;
    activateAWindow();
    EXPECT_EQ(provider->refreshes, 1);
    EXPECT_FALSE(m_engine->showsMap.get());
    EXPECT_TRUE(shows(view->mapPrompt()));
    EXPECT_FALSE(shows(view->mapNote()));

    provider->answer = Status::authorizedAlways;
    activateAWindow();
    EXPECT_TRUE(m_engine->showsMap.get());
    EXPECT_TRUE(shows(view->mapView()));
    // Nobody was sent to the settings for it.
    EXPECT_TRUE(opener->opened.empty());
}

}  // namespace
}  // namespace tarnwick::testing
