#pragma once

#include "MapKit/MapGeometry.h"

#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace tarnwick {

// How a line overlay is stroked: a named colour of the application's catalogue.
struct LineOverlayStyle {
    std::string strokeColor = "black";
    double lineWidth = 1.0;
    double alpha = 0.15;
};

// The shape a renderer strokes between two points of its drawing space: a straight line, or a
// quadratic curve when there is a control point.
struct OverlayPath {
    using Point = MapOverlayControlPointUtilities::Point;
    Point start;
    Point end;
    std::optional<Point> control;
};

// A straight line between two coordinates, start first, carrying its own style. Until it is first
// drawn it claims the whole world as its bounds; afterwards the bounds of its drawn path.
class LineOverlay {
public:
    LineOverlay(CLLocationCoordinate2D from, CLLocationCoordinate2D to) : coordinates{from, to} {}
    LineOverlay() = default;
    virtual ~LineOverlay() = default;
    LineOverlay(const LineOverlay&) = delete;
    LineOverlay& operator=(const LineOverlay&) = delete;

    std::vector<CLLocationCoordinate2D> coordinates;
    LineOverlayStyle style;
    MKMapRect boundsMapRect = MKMapRect::world();

    virtual OverlayPath path(OverlayPath::Point from, OverlayPath::Point to) const;
};

// The same two points joined by a curve that bows towards smaller y.
class ArcOverlay : public LineOverlay {
public:
    using LineOverlay::LineOverlay;
    double radiusMultiplier = 1.0;

    OverlayPath path(OverlayPath::Point from, OverlayPath::Point to) const override;
};

// The drawing level of an overlay: under the map's labels or above them.
enum class MKOverlayLevel { aboveRoads, aboveLabels };

// What a renderer does with an overlay: the path in drawing space and, from the path, the overlay's
// new bounds. `toMapPoint` converts back from drawing space. Nothing for an overlay without
// coordinates, whose bounds stay the whole world.
std::optional<OverlayPath> createPath(
    LineOverlay& overlay, const std::function<OverlayPath::Point(MKMapPoint)>& toPoint,
    const std::function<MKMapPoint(OverlayPath::Point)>& toMapPoint);

}  // namespace tarnwick
