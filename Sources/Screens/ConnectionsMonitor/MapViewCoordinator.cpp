#include "Screens/ConnectionsMonitor/MapViewCoordinator.h"

#include "Dispatch/MainQueuePrecondition.h"
#include "Logging/LogHub.h"

#include <algorithm>
#include <cmath>
#include <iomanip>
#include <locale>
#include <sstream>
#include <unordered_set>

namespace tarnwick {

namespace {

CLLocationCoordinate2D toCoordinate(const MapCoordinator::Coordinates& coordinates) {
    return {coordinates.lat, coordinates.lon};
}

bool contains(const std::vector<CLLocationCoordinate2D>& list,
              const CLLocationCoordinate2D& coordinate) {
    return std::find(list.begin(), list.end(), coordinate) != list.end();
}

// Four decimals place a city to about ten metres; trailing zeros say nothing, so 55.7 is
// "55.7", not "55.700000000000003".
std::string decimal(double value) {
    std::ostringstream text;
    text.imbue(std::locale::classic());
    text << std::fixed << std::setprecision(4) << value;
    std::string written = text.str();
    while (written.size() > 1 && written.back() == '0' && written[written.size() - 2] != '.') {
        written.pop_back();
    }
    return written == "-0.0" ? "0.0" : written;
}

}  // namespace

MapViewCoordinator::MapViewCoordinator(std::shared_ptr<MapScene> scene,
                                       ReverseGeocoder reverseGeocoder)
    : m_scene(std::move(scene)), m_reverseGeocoder(std::move(reverseGeocoder)) {}

std::optional<MapCoordinator::Coordinates> MapViewCoordinator::userLocation() const {
    const auto location = m_scene->userLocation();
    if (!location) {
        return std::nullopt;
    }
    return Coordinates{location->latitude, location->longitude};
}

void MapViewCoordinator::setUserLocation(std::optional<Coordinates> location) {
    dispatchPreconditionOnMain();
    m_scene->setUserLocation(location ? std::optional(toCoordinate(*location)) : std::nullopt);
}

void MapViewCoordinator::setShowsUserLocation(bool shows) {
    m_scene->setShowsUserLocation(shows);
}

void MapViewCoordinator::setRegion(const Coordinates& center, double metres) {
    m_scene->setRegion(mapgeometry::regionWithDistance(toCoordinate(center), metres, metres), true);
}

void MapViewCoordinator::removeAllAnnotationsAndOverlays() {
    dispatchPreconditionOnMain();
    m_overlayEndpointsOnMap.clear();
    m_annotationCoordinatesOnMap.clear();
    m_scene->removeAllAnnotationsAndOverlays();
}

void MapViewCoordinator::update(const std::vector<std::shared_ptr<Hit>>& hits, bool reset) {
    dispatchPreconditionOnMain();
    drawOverlays({});
    const auto user = m_scene->userLocation();
    if (hits.empty()) {
        if (m_canAnimateMap && user) {
            m_scene->setRegion(
                mapgeometry::regionWithDistance(*user, kUserRegionMetres, kUserRegionMetres), true);
            m_canAnimateMap = false;
        }
        return;
    }
    if (reset) {
        removeAllAnnotationsAndOverlays();
    }
    drawOverlays(hits);
    updateAnnotations(hits);
    fitRegion();
}

void MapViewCoordinator::drawOverlays(const std::vector<std::shared_ptr<Hit>>& hits) {
    dispatchPreconditionOnMain();
    if (!hits.empty()) {
        std::unordered_set<CLLocationCoordinate2D, CLLocationCoordinate2DHash> distinct;
        m_overlayEndpointsToDraw.clear();
        for (const auto& hit : hits) {
            if (hit->coordinates() && distinct.insert(toCoordinate(*hit->coordinates())).second) {
                m_overlayEndpointsToDraw.push_back(toCoordinate(*hit->coordinates()));
            }
        }
    }
    const auto user = m_scene->userLocation();
    if (m_overlayEndpointsToDraw.empty() || !user) {
        return;
    }
    for (const auto& endpoint : m_overlayEndpointsToDraw) {
        if (contains(m_overlayEndpointsOnMap, endpoint)) {
            continue;
        }
        auto line = std::make_shared<LineOverlay>(*user, endpoint);
        line->style = {"mapShadowColor", 1.0, 1.0};
        m_scene->addOverlay(line, MKOverlayLevel::aboveRoads);
        // A server at the user's own position has no arc to draw.
        if (!(endpoint == *user)) {
            auto arc = std::make_shared<ArcOverlay>(*user, endpoint);
            arc->style = {"mapTintColor", 1.0, 1.0};
            arc->radiusMultiplier = 0.5;
            m_scene->addOverlay(arc, MKOverlayLevel::aboveLabels);
        }
        m_overlayEndpointsOnMap.push_back(endpoint);
    }
    m_overlayEndpointsToDraw.clear();
}

void MapViewCoordinator::updateAnnotations(const std::vector<std::shared_ptr<Hit>>& hits) {
    dispatchPreconditionOnMain();
    std::vector<CLLocationCoordinate2D> toAdd;
    for (const auto& hit : hits) {
        if (hit->coordinates()) {
            toAdd.push_back(toCoordinate(*hit->coordinates()));
        }
    }
    for (const auto& coordinate : toAdd) {
        if (!contains(m_annotationCoordinatesOnMap, coordinate)) {
            addHitAnnotation(coordinate.latitude, coordinate.longitude);
            continue;
        }
        const auto& annotations = m_scene->hitAnnotations();
        const auto first = std::find_if(
            annotations.begin(), annotations.end(),
            [&](const auto& annotation) { return annotation->coordinate() == coordinate; });
        if (first == annotations.end()) {
            continue;
        }
        const auto circles =
            std::count_if(annotations.begin(), annotations.end(),
                          [&](const auto& a) { return a->coordinate() == coordinate; });
        const auto& names = m_scene->cityNames();
        const auto labels = std::count_if(names.begin(), names.end(), [&](const auto& name) {
            return name.coordinate == coordinate;
        });
        (*first)->setCount(static_cast<int>(circles + labels));
        m_scene->changed();
    }
    // A server no longer among the hits leaves the map with its name, and gets a new circle
    // should it come back.
    std::vector<CLLocationCoordinate2D> vanished;
    for (const auto& coordinate : m_annotationCoordinatesOnMap) {
        if (!contains(toAdd, coordinate)) {
            vanished.push_back(coordinate);
        }
    }
    for (const auto& coordinate : vanished) {
        m_scene->removeAnnotations(coordinate);
        std::erase(m_annotationCoordinatesOnMap, coordinate);
    }
}

void MapViewCoordinator::addHitAnnotation(double latitude, double longitude) {
    const CLLocationCoordinate2D coordinate{latitude, longitude};
    const auto user = m_scene->userLocation();
    if (user && *user == coordinate) {
        return;
    }
    auto annotation = std::make_shared<HitAnnotation>(coordinate);
    annotation->setImage("mapCircle");
    m_scene->addHitAnnotation(annotation);
    m_annotationCoordinatesOnMap.push_back(coordinate);
    addCityName(coordinate);
}

void MapViewCoordinator::addCityName(const CLLocationCoordinate2D& coordinate) {
    const auto user = m_scene->userLocation();
    if (user &&
        std::abs(user->longitude - coordinate.longitude) <= minimumDistanceToDrawCityNameLabel &&
        std::abs(user->latitude - coordinate.latitude) <= minimumDistanceToDrawCityNameLabel) {
        return;
    }
    const auto name = m_reverseGeocoder ? m_reverseGeocoder(coordinate) : std::nullopt;
    if (!name) {
        LogHub::info("Couldn't aquire city name at coordinates: [" + decimal(coordinate.latitude) +
                     ", " + decimal(coordinate.longitude) + "]");
        return;
    }
    HitCityNameAnnotation label{coordinate, *name, HitCityNameAnnotation::Placement::unknown};
    if (user) {
        label.placement = user->longitude < coordinate.longitude
                              ? HitCityNameAnnotation::Placement::east
                              : HitCityNameAnnotation::Placement::west;
    }
    m_scene->addCityName(std::move(label));
}

void MapViewCoordinator::fitRegion() {
    const auto user = m_scene->userLocation();
    if (!m_canAnimateMap || !user) {
        return;
    }
    std::optional<CLLocationCoordinate2D> farthest;
    double largest = 0;
    for (const auto& annotation : m_scene->hitAnnotations()) {
        const double distance = mapgeometry::distance(*user, annotation->coordinate());
        if (distance > largest) {
            largest = distance;
            farthest = annotation->coordinate();
        }
    }
    for (const auto& name : m_scene->cityNames()) {
        const double distance = mapgeometry::distance(*user, name.coordinate);
        if (distance > largest) {
            largest = distance;
            farthest = name.coordinate;
        }
    }
    m_scene->setRegion(
        farthest ? mapgeometry::regionFitting(*user, *farthest)
                 : mapgeometry::regionWithDistance(*user, kUserRegionMetres, kUserRegionMetres),
        true);
    m_canAnimateMap = false;
}

}  // namespace tarnwick
