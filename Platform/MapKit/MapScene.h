#pragma once

#include "MapKit/MapGeometry.h"
#include "MapKit/MapOverlays.h"

#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace tarnwick {

// A server's circle: its image grows with the number of annotations at its coordinate.
class HitAnnotation {
public:
    explicit HitAnnotation(CLLocationCoordinate2D coordinate) : m_coordinate(coordinate) {}

    const CLLocationCoordinate2D& coordinate() const { return m_coordinate; }
    int count() const { return m_count; }
    double imageSize() const { return m_imageSize; }
    // The side of the drawn image in points; none before an image is set.
    std::optional<int> imageSide() const { return m_imageSide; }
    const std::string& image() const { return m_image; }

    // The image, resized to imageSize by imageSize.
    void setImage(std::string name);
    // n below 20 makes the image imageSize (truncated) plus n points wide; 20 or more, 20.
    void setCount(int count);

private:
    CLLocationCoordinate2D m_coordinate;
    int m_count = 1;
    double m_imageSize = 10;
    std::string m_image;
    std::optional<int> m_imageSide;
};

// A city's name beside its circle, east or west of it as seen from the user.
struct HitCityNameAnnotation {
    enum class Placement { east, west, unknown };
    CLLocationCoordinate2D coordinate;
    std::string cityName;
    Placement placement = Placement::unknown;
};

// What the map shows: the user's position, the circles and city names of servers, the lines and
// arcs, and the region to show. It belongs to the screen's model, not to a widget, so a rebuilt
// map panel shows what was there. Main thread only; a map view redraws on `onChange`.
class MapScene {
public:
    struct Overlay {
        std::shared_ptr<LineOverlay> overlay;
        MKOverlayLevel level = MKOverlayLevel::aboveRoads;
    };
    struct RegionChange {
        MKCoordinateRegion region;
        bool animated = false;
        int serial = 0;
    };

    std::optional<CLLocationCoordinate2D> userLocation() const { return m_userLocation; }
    void setUserLocation(std::optional<CLLocationCoordinate2D> location);
    bool showsUserLocation() const { return m_showsUserLocation; }
    void setShowsUserLocation(bool shows);

    const std::vector<std::shared_ptr<HitAnnotation>>& hitAnnotations() const { return m_hits; }
    const std::vector<HitCityNameAnnotation>& cityNames() const { return m_cityNames; }
    const std::vector<Overlay>& overlays() const { return m_overlays; }
    const std::optional<RegionChange>& region() const { return m_region; }

    void addHitAnnotation(std::shared_ptr<HitAnnotation> annotation);
    void addCityName(HitCityNameAnnotation annotation);
    void addOverlay(std::shared_ptr<LineOverlay> overlay, MKOverlayLevel level);
    // Removes every circle and city name at exactly `coordinate`.
    void removeAnnotations(const CLLocationCoordinate2D& coordinate);
    void removeAllAnnotationsAndOverlays();
    void setRegion(const MKCoordinateRegion& region, bool animated);
    // Notifies the viewer after a change made through an annotation it holds.
    void changed();

    std::function<void()> onChange;

private:
    std::optional<CLLocationCoordinate2D> m_userLocation;
    bool m_showsUserLocation = false;
    std::vector<std::shared_ptr<HitAnnotation>> m_hits;
    std::vector<HitCityNameAnnotation> m_cityNames;
    std::vector<Overlay> m_overlays;
    std::optional<RegionChange> m_region;
};

}  // namespace tarnwick
