#include "MapKit/MapOverlays.h"

#include <algorithm>

namespace tarnwick {

OverlayPath LineOverlay::path(OverlayPath::Point from, OverlayPath::Point to) const {
    return {from, to, std::nullopt};
}

OverlayPath ArcOverlay::path(OverlayPath::Point from, OverlayPath::Point to) const {
    if (from == to) {
        // A chord of no length has no direction to bow away from.
        return {from, to, std::nullopt};
    }
    return {from, to, MapOverlayControlPointUtilities::controlPoint(from, to, radiusMultiplier)};
}

std::optional<OverlayPath> createPath(
    LineOverlay& overlay, const std::function<OverlayPath::Point(MKMapPoint)>& toPoint,
    const std::function<MKMapPoint(OverlayPath::Point)>& toMapPoint) {
    if (overlay.coordinates.empty()) {
        return std::nullopt;
    }
    const MKMapPoint first = mapgeometry::mapPoint(overlay.coordinates.front());
    MKMapPoint last = mapgeometry::mapPoint(overlay.coordinates.back());
    // The short way round: across the 180th meridian the end is drawn beside the start.
    const double dLongitude =
        mapgeometry::longitudeDifference(overlay.coordinates.front(), overlay.coordinates.back());
    last.x = first.x + dLongitude / 360.0;
    OverlayPath path = overlay.path(toPoint(first), toPoint(last));
    double minX = std::min(path.start.x, path.end.x);
    double maxX = std::max(path.start.x, path.end.x);
    double minY = std::min(path.start.y, path.end.y);
    double maxY = std::max(path.start.y, path.end.y);
    if (path.control) {
        // The curve lies inside the hull of its three points.
        minX = std::min(minX, path.control->x);
        maxX = std::max(maxX, path.control->x);
        minY = std::min(minY, path.control->y);
        maxY = std::max(maxY, path.control->y);
    }
    const MKMapPoint topLeft = toMapPoint({minX, minY});
    const MKMapPoint bottomRight = toMapPoint({maxX, maxY});
    overlay.boundsMapRect = {std::min(topLeft.x, bottomRight.x), std::min(topLeft.y, bottomRight.y),
                             std::abs(bottomRight.x - topLeft.x),
                             std::abs(bottomRight.y - topLeft.y)};
    return path;
}

}  // namespace tarnwick
