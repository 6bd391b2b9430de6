#include "MapKit/MapGeometry.h"

#include <algorithm>
#include <cmath>
#include <numbers>

namespace tarnwick {

std::size_t CLLocationCoordinate2DHash::operator()(const CLLocationCoordinate2D& coordinate) const {
    const std::size_t latitude = std::hash<double>{}(coordinate.latitude);
    const std::size_t longitude = std::hash<double>{}(coordinate.longitude);
    return latitude ^ (longitude + 0x9e3779b97f4a7c15ULL + (latitude << 6) + (latitude >> 2));
}

namespace mapgeometry {

namespace {

constexpr double kPi = std::numbers::pi;

double radians(double degrees) {
    return degrees * kPi / 180.0;
}

double degrees(double radiansValue) {
    return radiansValue * 180.0 / kPi;
}

double clampedLatitude(double latitude) {
    return std::clamp(latitude, -kMaximumLatitude, kMaximumLatitude);
}

constexpr double kMetresPerDegree = kEarthRadiusMetres * std::numbers::pi / 180.0;

}  // namespace

MKMapPoint mapPoint(const CLLocationCoordinate2D& coordinate) {
    const double latitude = radians(clampedLatitude(coordinate.latitude));
    const double x = (coordinate.longitude + 180.0) / 360.0;
    const double y = (1.0 - std::log(std::tan(latitude) + 1.0 / std::cos(latitude)) / kPi) / 2.0;
    return {x, y};
}

CLLocationCoordinate2D coordinate(const MKMapPoint& point) {
    const double longitude = point.x * 360.0 - 180.0;
    const double latitude = degrees(std::atan(std::sinh(kPi * (1.0 - 2.0 * point.y))));
    return {latitude, longitude};
}

double normalizedLongitude(double longitude) {
    double wrapped = std::fmod(longitude + 180.0, 360.0);
    if (wrapped < 0) {
        wrapped += 360.0;
    }
    return wrapped - 180.0;
}

double longitudeDifference(const CLLocationCoordinate2D& from, const CLLocationCoordinate2D& to) {
    const double difference = normalizedLongitude(to.longitude - from.longitude);
    // Exactly half way round either way is the same distance: keep the sign it was given.
    return difference == -180.0 && to.longitude > from.longitude ? 180.0 : difference;
}

double distance(const CLLocationCoordinate2D& from, const CLLocationCoordinate2D& to) {
    const double latitude1 = radians(from.latitude);
    const double latitude2 = radians(to.latitude);
    const double dLatitude = latitude2 - latitude1;
    const double dLongitude = radians(to.longitude - from.longitude);
    const double a = std::sin(dLatitude / 2) * std::sin(dLatitude / 2) +
                     std::cos(latitude1) * std::cos(latitude2) * std::sin(dLongitude / 2) *
                         std::sin(dLongitude / 2);
    return 2 * kEarthRadiusMetres * std::atan2(std::sqrt(a), std::sqrt(std::max(0.0, 1 - a)));
}

MKCoordinateRegion clamped(MKCoordinateRegion region) {
    region.center.latitude = std::clamp(region.center.latitude, -90.0, 90.0);
    region.center.longitude = normalizedLongitude(region.center.longitude);
    region.span.latitudeDelta = std::clamp(region.span.latitudeDelta, 1e-6, 180.0);
    region.span.longitudeDelta = std::clamp(region.span.longitudeDelta, 1e-6, 360.0);
    return region;
}

MKCoordinateRegion regionWithDistance(const CLLocationCoordinate2D& center,
                                      double latitudinalMetres, double longitudinalMetres) {
    const double latitudeDelta = latitudinalMetres / kMetresPerDegree;
    const double cosine = std::max(std::cos(radians(center.latitude)), 1e-6);
    const double longitudeDelta = longitudinalMetres / (kMetresPerDegree * cosine);
    return clamped({center, {latitudeDelta, longitudeDelta}});
}

MKCoordinateRegion regionFitting(const CLLocationCoordinate2D& user,
                                 const CLLocationCoordinate2D& far) {
    const double dLongitude = longitudeDifference(user, far);
    MKCoordinateRegion region;
    region.center = {(far.latitude + user.latitude) * 0.5, user.longitude + dLongitude * 0.5};
    region.span = {std::abs(user.latitude - far.latitude) * 1.5, std::abs(dLongitude) * 1.5};
    return clamped(region);
}

MKMapRect mapRect(const MKCoordinateRegion& region) {
    const double north = clampedLatitude(region.center.latitude + region.span.latitudeDelta / 2);
    const double south = clampedLatitude(region.center.latitude - region.span.latitudeDelta / 2);
    const double top = mapPoint({north, 0}).y;
    const double bottom = mapPoint({south, 0}).y;
    const double width = region.span.longitudeDelta / 360.0;
    const double centerX = (region.center.longitude + 180.0) / 360.0;
    return {centerX - width / 2, top, width, bottom - top};
}

}  // namespace mapgeometry

MapOverlayControlPointUtilities::Point MapOverlayControlPointUtilities::controlPoint(
    Point from, Point to, double radiusMultiplier) {
    const Point middle{(from.x + to.x) * 0.5, (from.y + to.y) * 0.5};
    const double distance =
        std::sqrt((from.x - to.x) * (from.x - to.x) + (from.y - to.y) * (from.y - to.y)) * 0.5 *
        radiusMultiplier;
    // The one-argument arc tangent of the slope, through degrees and back with these constants:
    // the arcs of one user all bow to the same side.
    const double angle = (std::atan((to.y - from.y) / (to.x - from.x)) * 57.29577951308232 - 90) *
                         3.141592653589793 / 180;
    return {middle.x + distance * std::cos(angle), middle.y + distance * std::sin(angle)};
}

}  // namespace tarnwick
