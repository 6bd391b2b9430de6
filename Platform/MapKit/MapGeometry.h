#pragma once

#include <cstddef>
#include <functional>
#include <optional>

namespace tarnwick {

// A position on the earth in degrees. Two are equal when both values are exactly equal.
struct CLLocationCoordinate2D {
    double latitude = 0;
    double longitude = 0;

    bool operator==(const CLLocationCoordinate2D&) const = default;
};

struct CLLocationCoordinate2DHash {
    std::size_t operator()(const CLLocationCoordinate2D& coordinate) const;
};

// A point of the Web Mercator plane: the world is the unit square, x eastwards from the
// antimeridian, y southwards from the top edge (about 85.05 degrees north).
struct MKMapPoint {
    double x = 0;
    double y = 0;

    bool operator==(const MKMapPoint&) const = default;
};

struct MKMapRect {
    double x = 0;
    double y = 0;
    double width = 0;
    double height = 0;

    static MKMapRect world() { return {0, 0, 1, 1}; }
    bool operator==(const MKMapRect&) const = default;
};

struct MKCoordinateSpan {
    double latitudeDelta = 0;
    double longitudeDelta = 0;

    bool operator==(const MKCoordinateSpan&) const = default;
};

struct MKCoordinateRegion {
    CLLocationCoordinate2D center;
    MKCoordinateSpan span;

    bool operator==(const MKCoordinateRegion&) const = default;
};

namespace mapgeometry {

inline constexpr double kMaximumLatitude = 85.05112878;
inline constexpr double kEarthRadiusMetres = 6371008.8;

MKMapPoint mapPoint(const CLLocationCoordinate2D& coordinate);
CLLocationCoordinate2D coordinate(const MKMapPoint& point);
// The longitude in [-180, 180).
double normalizedLongitude(double longitude);
// `to.longitude - from.longitude` the short way round, in [-180, 180].
double longitudeDifference(const CLLocationCoordinate2D& from, const CLLocationCoordinate2D& to);
// Great-circle distance in metres.
double distance(const CLLocationCoordinate2D& from, const CLLocationCoordinate2D& to);

// The region `latitudinalMetres` north to south and `longitudinalMetres` east to west around
// `center`; spans clamped to the globe.
MKCoordinateRegion regionWithDistance(const CLLocationCoordinate2D& center,
                                      double latitudinalMetres, double longitudinalMetres);
// The region that shows `user` and `far` with room around them: half way between them (the short
// way round the 180th meridian) and half as large again as their distance in each direction,
// spans clamped to what a region can hold.
MKCoordinateRegion regionFitting(const CLLocationCoordinate2D& user,
                                 const CLLocationCoordinate2D& far);
// A region with its centre on the globe and its spans inside (0, 180] and (0, 360].
MKCoordinateRegion clamped(MKCoordinateRegion region);
// The Mercator rectangle a region shows; it may stick out of the unit square across the 180th
// meridian.
MKMapRect mapRect(const MKCoordinateRegion& region);

}  // namespace mapgeometry

// The arc's bend: the control point of a quadratic curve from p1 to p2, on the side of smaller y
// whichever way the chord runs, a quarter of the chord away for a multiplier of 0.5.
class MapOverlayControlPointUtilities {
public:
    struct Point {
        double x = 0;
        double y = 0;
        bool operator==(const Point&) const = default;
    };
    static Point controlPoint(Point from, Point to, double radiusMultiplier);
};

}  // namespace tarnwick
