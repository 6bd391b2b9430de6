#include "MapKit/MapGeometry.h"
#include "MapKit/MapOverlays.h"
#include "MapKit/MapScene.h"

#include <gtest/gtest.h>

#include <cmath>

namespace tarnwick {
namespace {

using Point = MapOverlayControlPointUtilities::Point;

Point control(Point from, Point to, double multiplier = 0.5) {
    return MapOverlayControlPointUtilities::controlPoint(from, to, multiplier);
}

TEST(ControlPoint, BowsTowardsSmallerYWhicheverWayTheChordRuns) {
    // Horizontal: straight up from the midpoint by a quarter of the chord.
    const Point horizontal = control({0, 0}, {8, 0});
    EXPECT_NEAR(horizontal.x, 4, 1e-12);
    EXPECT_NEAR(horizontal.y, -2, 1e-12);
    EXPECT_EQ(control({8, 0}, {0, 0}), horizontal);

    // Vertical chords lie on the midpoint's horizontal: right going down, left going up.
    const Point down = control({0, 0}, {0, 8});
    EXPECT_NEAR(down.x, 2, 1e-12);
    EXPECT_NEAR(down.y, 4, 1e-12);
    const Point up = control({0, 8}, {0, 0});
    EXPECT_NEAR(up.x, -2, 1e-12);
    EXPECT_NEAR(up.y, 4, 1e-12);

    // A slope: the single-argument arc tangent keeps the bend on the same side both ways.
    const Point sloped = control({0, 0}, {6, 8}, 1.0);
    const Point reversed = control({6, 8}, {0, 0}, 1.0);
    EXPECT_NEAR(sloped.x, reversed.x, 1e-12);
    EXPECT_NEAR(sloped.y, reversed.y, 1e-12);
    // Half the chord (5) along the normal (0.8, -0.6) from the midpoint (3, 4).
    EXPECT_NEAR(sloped.x, 3 + 5 * 0.8, 1e-9);
    EXPECT_NEAR(sloped.y, 4 - 5 * 0.6, 1e-9);
}

TEST(MapGeometry, MercatorRoundTripsAndRegionsFromDistances) {
    for (const CLLocationCoordinate2D coordinate :
         {CLLocationCoordinate2D{0, 0}, {55.75, 37.62}, {-33.9, 151.2}, {60, -179.5}}) {
        const auto back = mapgeometry::coordinate(mapgeometry::mapPoint(coordinate));
        EXPECT_NEAR(back.latitude, coordinate.latitude, 1e-9);
        EXPECT_NEAR(back.longitude, coordinate.longitude, 1e-9);
    }
    EXPECT_EQ(mapgeometry::mapPoint({0, 0}), (MKMapPoint{0.5, 0.5}));
    const auto region = mapgeometry::regionWithDistance({0, 0}, 1'500'000, 1'500'000);
    EXPECT_NEAR(region.span.latitudeDelta, 13.49, 0.01);
    EXPECT_NEAR(region.span.longitudeDelta, 13.49, 0.01);
    // Near a pole the east-west span is bounded by the globe.
    EXPECT_LE(mapgeometry::regionWithDistance({89.9, 0}, 1'500'000, 1'500'000).span.longitudeDelta,
              360.0);
}

struct FitCase {
    const char* name;
    CLLocationCoordinate2D user;
    CLLocationCoordinate2D far;
    MKCoordinateRegion expected;
};

void PrintTo(const FitCase& fit, std::ostream* os) {
    *os << fit.name;
}

class RegionFitting : public ::testing::TestWithParam<FitCase> {};

TEST_P(RegionFitting, CentresBetweenAndSpansHalfAgainTheShortWay) {
    const auto& fit = GetParam();
    const auto region = mapgeometry::regionFitting(fit.user, fit.far);
    EXPECT_NEAR(region.center.latitude, fit.expected.center.latitude, 1e-9);
    EXPECT_NEAR(region.center.longitude, fit.expected.center.longitude, 1e-9);
    EXPECT_NEAR(region.span.latitudeDelta, fit.expected.span.latitudeDelta, 1e-9);
    EXPECT_NEAR(region.span.longitudeDelta, fit.expected.span.longitudeDelta, 1e-9);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, RegionFitting,
    ::testing::Values(
        FitCase{"same hemisphere", {52.5, 13.4}, {55.7, 37.6}, {{54.1, 25.5}, {4.8, 36.3}}},
        FitCase{"west of the user", {40, -70}, {50, -100}, {{45, -85}, {15, 45}}},
        FitCase{
            "across the 180th meridian eastwards", {60, 170}, {50, -170}, {{55, -180}, {15, 30}}},
        FitCase{"across the 180th meridian westwards",
                {-40, -175},
                {-30, 175},
                {{-35, 180 - 360}, {15, 15}}},
        FitCase{"pole to pole", {80, 0}, {-80, 10}, {{0, 5}, {180, 15}}}),
    [](const auto& testCase) {
        std::string name = testCase.param.name;
        for (char& c : name) {
            if (!std::isalnum(static_cast<unsigned char>(c))) {
                c = '_';
            }
        }
        return name;
    });

TEST(MapOverlays, DefaultsPathsAndBounds) {
    LineOverlay empty;
    EXPECT_EQ(empty.style.strokeColor, "black");
    EXPECT_EQ(empty.style.lineWidth, 1.0);
    EXPECT_EQ(empty.style.alpha, 0.15);
    const auto identity = [](MKMapPoint p) { return Point{p.x, p.y}; };
    const auto back = [](Point p) { return MKMapPoint{p.x, p.y}; };
    EXPECT_FALSE(createPath(empty, identity, back));
    EXPECT_EQ(empty.boundsMapRect, MKMapRect::world());

    ArcOverlay arc({0, 0}, {0, 90});
    arc.radiusMultiplier = 0.5;
    const auto path = createPath(arc, identity, back);
    ASSERT_TRUE(path && path->control);
    // The bounds take in the bulge above the chord.
    EXPECT_LT(arc.boundsMapRect.y, 0.5);
    EXPECT_NEAR(arc.boundsMapRect.x, 0.5, 1e-12);
    EXPECT_NEAR(arc.boundsMapRect.width, 0.25, 1e-12);

    // Across the meridian the end is drawn beside the start, not across the world.
    LineOverlay crossing({0, 170}, {0, -170});
    const auto short_way = createPath(crossing, identity, back);
    ASSERT_TRUE(short_way);
    EXPECT_NEAR(short_way->end.x - short_way->start.x, 20.0 / 360.0, 1e-12);

    // Coinciding ends make no curve.
    ArcOverlay point({10, 10}, {10, 10});
    EXPECT_FALSE(createPath(point, identity, back)->control);
}

TEST(HitAnnotation, ImageGrowsWithCountUpToNineteenThenStaysAtTwenty) {
    HitAnnotation annotation({1, 2});
    EXPECT_FALSE(annotation.imageSide());
    annotation.setImage("mapCircle");
    EXPECT_EQ(annotation.imageSide(), 10);
    const std::pair<int, int> sides[] = {{1, 11}, {2, 12}, {19, 29}, {20, 20}, {55, 20}};
    for (const auto& [count, side] : sides) {
        annotation.setCount(count);
        EXPECT_EQ(annotation.imageSide(), side) << count;
    }
}

}  // namespace
}  // namespace tarnwick
