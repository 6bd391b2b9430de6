#pragma once

#include "MapKit/MapScene.h"
#include "Screens/ConnectionsMonitor/MapCoordinator.h"

#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace tarnwick {

// Keeps the connection map in step with the hits of the expanded application: one circle per
// server position (growing when the position is seen again), a city name beside each circle far
// enough from the user, a line and an arc from the user to each position once, and one move of
// the map per expanded application. A server that drops out of the hits takes its circle and its
// name with it; a server at the user's own position gets no circle and no arc. Main queue only.
class MapViewCoordinator final : public MapCoordinator {
public:
    // The name of the city at a position, if there is one near enough.
    using ReverseGeocoder =
        std::function<std::optional<std::string>(const CLLocationCoordinate2D&)>;

    static constexpr double minimumDistanceToDrawCityNameLabel = 0.15;
    static constexpr double kUserRegionMetres = 1'500'000;

    MapViewCoordinator(std::shared_ptr<MapScene> scene, ReverseGeocoder reverseGeocoder);

    bool canAnimateMap() const override { return m_canAnimateMap; }
    void setCanAnimateMap(bool canAnimate) override { m_canAnimateMap = canAnimate; }
    std::optional<Coordinates> userLocation() const override;
    void setUserLocation(std::optional<Coordinates> location) override;
    void setShowsUserLocation(bool shows) override;
    void setRegion(const Coordinates& center, double metres) override;
    void removeAllAnnotationsAndOverlays() override;
    void update(const std::vector<std::shared_ptr<Hit>>& hits, bool reset) override;
    void drawOverlays(const std::vector<std::shared_ptr<Hit>>& hits) override;

    void updateAnnotations(const std::vector<std::shared_ptr<Hit>>& hits);
    void addHitAnnotation(double latitude, double longitude);
    void fitRegion();

    const MapScene& scene() const { return *m_scene; }
    const std::vector<CLLocationCoordinate2D>& annotationCoordinatesOnMap() const {
        return m_annotationCoordinatesOnMap;
    }
    const std::vector<CLLocationCoordinate2D>& overlayEndpointsOnMap() const {
        return m_overlayEndpointsOnMap;
    }
    const std::vector<CLLocationCoordinate2D>& overlayEndpointsToDraw() const {
        return m_overlayEndpointsToDraw;
    }

private:
    void addCityName(const CLLocationCoordinate2D& coordinate);

    const std::shared_ptr<MapScene> m_scene;
    const ReverseGeocoder m_reverseGeocoder;
    bool m_canAnimateMap = true;
    std::vector<CLLocationCoordinate2D> m_annotationCoordinatesOnMap;
    std::vector<CLLocationCoordinate2D> m_overlayEndpointsOnMap;
    std::vector<CLLocationCoordinate2D> m_overlayEndpointsToDraw;
};

}  // namespace tarnwick
