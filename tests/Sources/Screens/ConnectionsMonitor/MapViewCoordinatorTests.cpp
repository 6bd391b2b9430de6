#include "Logging/BaseDestination.h"
#include "Logging/LogHub.h"
#include "Screens/ConnectionsMonitor/MapViewCoordinator.h"

#include <gtest/gtest.h>

#include <map>
#include <mutex>

namespace tarnwick {
namespace {

// Keeps the messages logged while it is installed.
class LoggedMessages final : public BaseDestination {
public:
    LoggedMessages() { setAsynchronously(false); }
    std::optional<std::string> send(LogLevel, const std::string& message, const std::string&,
                                    const std::string&, const std::string&, long,
                                    const LogValue&) override {
        std::lock_guard lock(mutex);
        messages.push_back(message);
        return message;
    }
    std::mutex mutex;
    std::vector<std::string> messages;
};

// Hits placed by hand, a scene and a city table of three names.
class MapViewCoordinatorTest : public ::testing::Test {
public:
    std::shared_ptr<Hit> hitAt(double latitude, double longitude) {
        auto hit = std::make_shared<Hit>("198.51.100.1", "https://example.org/", std::nullopt, true,
                                         m_environment);
        hit->handleWhoisResult(WhoIs::Response{
            "198.51.100.1", "DE", WhoIs::Response::Coordinates{latitude, longitude}, false});
        return hit;
    }
    std::size_t arcs() const {
        std::size_t count = 0;
        for (const auto& overlay : scene->overlays()) {
            count += dynamic_cast<const ArcOverlay*>(overlay.overlay.get()) != nullptr;
        }
        return count;
    }
    std::size_t lines() const { return scene->overlays().size() - arcs(); }

    std::shared_ptr<const HitEnvironment> m_environment = std::make_shared<HitEnvironment>();
    std::shared_ptr<MapScene> scene = std::make_shared<MapScene>();
    std::map<std::pair<double, double>, std::string> cities{
        {{55.7, 37.6}, "Moscow"}, {{52.5, 13.4}, "Berlin"}, {{40.7, -74.0}, "New York"}};
    int lookups = 0;
    MapViewCoordinator coordinator{
        scene, [this](const CLLocationCoordinate2D& at) -> std::optional<std::string> {
            ++lookups;
            const auto found = cities.find({at.latitude, at.longitude});
            return found == cities.end() ? std::nullopt : std::optional(found->second);
        }};
};

TEST_F(MapViewCoordinatorTest, OneCircleLineAndArcPerPositionAndTheCircleGrows) {
    coordinator.setUserLocation(MapCoordinator::Coordinates{50.1, 8.7});
    const auto moscow = hitAt(55.7, 37.6);
    coordinator.update({moscow, hitAt(55.7, 37.6)}, false);
    ASSERT_EQ(scene->hitAnnotations().size(), 1u);
    EXPECT_EQ(lines(), 1u);
    EXPECT_EQ(arcs(), 1u);
    ASSERT_EQ(scene->cityNames().size(), 1u);
    EXPECT_EQ(scene->cityNames()[0].cityName, "Moscow");
    EXPECT_EQ(scene->cityNames()[0].placement, HitCityNameAnnotation::Placement::east);
    // Seen again: the circle counts the annotations at its position (circle and name).
    EXPECT_EQ(scene->hitAnnotations()[0]->count(), 2);
    EXPECT_EQ(scene->hitAnnotations()[0]->imageSide(), 12);

    // The arc is the curved one, above the labels.
    for (const auto& overlay : scene->overlays()) {
        if (const auto* arc = dynamic_cast<const ArcOverlay*>(overlay.overlay.get())) {
            EXPECT_EQ(overlay.level, MKOverlayLevel::aboveLabels);
            EXPECT_EQ(arc->radiusMultiplier, 0.5);
            EXPECT_EQ(arc->style.strokeColor, "mapTintColor");
        } else {
            EXPECT_EQ(overlay.level, MKOverlayLevel::aboveRoads);
            EXPECT_EQ(overlay.overlay->style.strokeColor, "mapShadowColor");
        }
    }

    // The first region change shows both; later ones leave the user's panning alone.
    ASSERT_TRUE(scene->region());
    EXPECT_NEAR(scene->region()->region.center.latitude, (55.7 + 50.1) / 2, 1e-9);
    EXPECT_FALSE(coordinator.canAnimateMap());
    const int serial = scene->region()->serial;
    coordinator.update({moscow, hitAt(52.5, 13.4)}, false);
    EXPECT_EQ(scene->region()->serial, serial);
}

TEST_F(MapViewCoordinatorTest, UserPositionAndNearbyServersGetNoLabelAndNoArc) {
    coordinator.setUserLocation(MapCoordinator::Coordinates{52.5, 13.4});
    coordinator.update({hitAt(52.5, 13.4)}, false);
    // At the user: a line of no length, but no circle, no name and no arc.
    EXPECT_TRUE(scene->hitAnnotations().empty());
    EXPECT_TRUE(scene->cityNames().empty());
    EXPECT_EQ(lines(), 1u);
    EXPECT_EQ(arcs(), 0u);

    // Within 0.15 degrees both ways: a circle without a name; beyond in either: a name.
    coordinator.update({hitAt(52.6, 13.5)}, true);
    EXPECT_EQ(scene->hitAnnotations().size(), 1u);
    EXPECT_TRUE(scene->cityNames().empty());
    EXPECT_EQ(lookups, 0);
    coordinator.update({hitAt(52.5, 13.0)}, true);
    EXPECT_EQ(lookups, 1);  // no city there: the circle stays without a name
    EXPECT_EQ(scene->hitAnnotations().size(), 1u);
    EXPECT_TRUE(scene->cityNames().empty());
}

TEST_F(MapViewCoordinatorTest, LinesWaitForTheUserAndVanishedServersLeaveWithTheirNames) {
    const auto moscow = hitAt(55.7, 37.6);
    const auto newYork = hitAt(40.7, -74.0);
    coordinator.update({moscow, newYork}, false);
    EXPECT_TRUE(scene->overlays().empty());
    EXPECT_EQ(coordinator.overlayEndpointsToDraw().size(), 2u);
    EXPECT_EQ(scene->hitAnnotations().size(), 2u);
    // Without a user there is no east or west.
    EXPECT_EQ(scene->cityNames()[0].placement, HitCityNameAnnotation::Placement::unknown);

    // A location update draws what waited, once.
    coordinator.setUserLocation(MapCoordinator::Coordinates{50.1, 8.7});
    coordinator.drawOverlays({});
    EXPECT_EQ(lines(), 2u);
    EXPECT_EQ(arcs(), 2u);
    EXPECT_TRUE(coordinator.overlayEndpointsToDraw().empty());

    // New York drops out: its circle and its name go, and it comes back as new.
    coordinator.update({moscow}, false);
    ASSERT_EQ(scene->hitAnnotations().size(), 1u);
    ASSERT_EQ(scene->cityNames().size(), 1u);
    EXPECT_EQ(scene->cityNames()[0].cityName, "Moscow");
    EXPECT_EQ(coordinator.annotationCoordinatesOnMap().size(), 1u);
    coordinator.update({moscow, newYork}, false);
    EXPECT_EQ(scene->hitAnnotations().size(), 2u);
    EXPECT_EQ(scene->cityNames().size(), 2u);
    EXPECT_EQ(arcs(), 2u);

    coordinator.removeAllAnnotationsAndOverlays();
    EXPECT_TRUE(scene->hitAnnotations().empty());
    EXPECT_TRUE(scene->overlays().empty());
    EXPECT_TRUE(coordinator.annotationCoordinatesOnMap().empty());
}

TEST_F(MapViewCoordinatorTest, NoHitsZoomsAroundTheUserOnceAndFitsAcrossTheMeridian) {
    coordinator.update({}, false);
    EXPECT_FALSE(scene->region());  // no user yet
    coordinator.setUserLocation(MapCoordinator::Coordinates{60, 170});
    coordinator.update({}, false);
    ASSERT_TRUE(scene->region());
    EXPECT_NEAR(scene->region()->region.span.latitudeDelta, 13.49, 0.01);
    EXPECT_TRUE(scene->region()->animated);
    coordinator.update({}, false);
    EXPECT_EQ(scene->region()->serial, 1);

    coordinator.setCanAnimateMap(true);
    coordinator.update({hitAt(50, -170)}, true);
    EXPECT_NEAR(std::abs(scene->region()->region.center.longitude), 180, 1e-9);
    EXPECT_NEAR(scene->region()->region.span.longitudeDelta, 30, 1e-9);
}

// A place without a city name is logged with its coordinates as people write them.
TEST_F(MapViewCoordinatorTest, APlaceWithoutACityIsLoggedWithReadableCoordinates) {
    const struct {
        double latitude;
        double longitude;
        const char* written;
    } places[] = {
        {55.7, 37.6, "[55.7, 37.6]"},
        {-33.86882, 151.20929, "[-33.8688, 151.2093]"},
        {0.0, -0.00001, "[0.0, 0.0]"},
        {12.0, -179.5, "[12.0, -179.5]"},
    };
    cities.clear();
    for (const auto& place : places) {
        SCOPED_TRACE(place.written);
        const auto log = std::make_shared<LoggedMessages>();
        LogHub::addDestination(log);
        coordinator.update({hitAt(place.latitude, place.longitude)}, true);
        LogHub::removeDestination(log);
        std::lock_guard lock(log->mutex);
        ASSERT_FALSE(log->messages.empty());
        EXPECT_EQ(log->messages.back(),
                  std::string("Couldn't aquire city name at coordinates: ") + place.written);
    }
}

}  // namespace
}  // namespace tarnwick
