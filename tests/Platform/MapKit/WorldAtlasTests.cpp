#include "MapKit/WorldAtlas.h"
#include "support/TemporaryDirectory.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <fstream>
#include <sys/stat.h>

namespace tarnwick {
namespace {

TEST(WorldAtlas, DecodesTheCountriesOfNaturalEarth) {
    const auto atlas = WorldAtlas::read(TARNWICK_WORLD_ATLAS);
    ASSERT_TRUE(atlas) << atlas.error();
    EXPECT_GT(atlas->countries().size(), 170u);
    const auto& countries = atlas->countries();
    const auto russia = std::find_if(countries.begin(), countries.end(),
                                     [](const auto& country) { return country.name == "Russia"; });
    ASSERT_NE(russia, countries.end());
    // Russia is many rings, all on the unit square, reaching far east.
    EXPECT_GT(russia->rings.size(), 3u);
    double east = 0;
    for (const auto& ring : russia->rings) {
        for (const auto& point : ring) {
            ASSERT_GE(point.x, 0);
            ASSERT_LE(point.x, 1);
            east = std::max(east, point.x);
        }
    }
    EXPECT_GT(east, 0.99);
}

TEST(WorldAtlas, JoinsArcsForwardAndBackward) {
    // Two arcs of a square: the second is walked backwards, and shared ends appear once.
    const auto atlas = WorldAtlas::parse(
        R"({"type":"Topology","objects":{"countries":{"type":"GeometryCollection","geometries":[
            {"type":"Polygon","arcs":[[0,-2]],"properties":{"name":"Square"}}]}},
            "arcs":[[[0,0],[10,0],[10,10]],[[0,0],[0,10],[10,10]]]})");
    ASSERT_TRUE(atlas) << atlas.error();
    ASSERT_EQ(atlas->countries().size(), 1u);
    const auto& ring = atlas->countries()[0].rings.at(0);
    ASSERT_EQ(ring.size(), 5u);
    EXPECT_EQ(ring[2], mapgeometry::mapPoint({10, 10}));
    EXPECT_EQ(ring[3], mapgeometry::mapPoint({10, 0}));
    EXPECT_EQ(ring[4], mapgeometry::mapPoint({0, 0}));
}

TEST(WorldAtlas, RefusesMalformedMapDataWithAReason) {
    const std::pair<const char*, const char*> cases[] = {
        {"not JSON", "{"},
        {"not a topology", R"({"type":"FeatureCollection"})"},
        {"no arcs", R"({"type":"Topology","objects":{}})"},
        {"an arc index past the end",
         R"({"type":"Topology","arcs":[[[0,0],[1,1]]],"objects":{"countries":{"geometries":[{"type":"Polygon","arcs":[[5]]}]}}})"},
        {"a position that is not numbers",
         R"({"type":"Topology","arcs":[[["a",0]]],"objects":{"countries":{"geometries":[]}}})"},
        {"a malformed transform",
         R"({"type":"Topology","transform":{"scale":[1]},"arcs":[],"objects":{"countries":{"geometries":[]}}})"},
        {"nesting deeper than any map",
         R"({"type":"Topology","arcs":[[[[[[[[[[[[[[[[[[[[0]]]]]]]]]]]]]]]]]]]]})"},
    };
    for (const auto& [name, text] : cases) {
        const auto atlas = WorldAtlas::parse(text);
        EXPECT_FALSE(atlas) << name;
        if (!atlas) {
            EXPECT_FALSE(atlas.error().empty()) << name;
        }
    }
}

TEST(WorldAtlas, BoundsRingsThatRepeatAnArc) {
    // A small file whose one ring walks a long arc a thousand times would otherwise decode to
    // ten million points.
    std::string arc = "[0,0]";
    for (int i = 0; i < 10'000; ++i) {
        arc += ",[1,0]";
    }
    std::string ring = "0";
    for (int i = 0; i < 1'000; ++i) {
        ring += ",0";
    }
    const auto atlas = WorldAtlas::parse(
        R"({"type":"Topology","transform":{"scale":[0.001,0.001],"translate":[0,0]},"arcs":[[)" +
        arc + R"(]],"objects":{"countries":{"geometries":[{"type":"Polygon","arcs":[[)" + ring +
        "]]}]}}}");
    ASSERT_FALSE(atlas);
    EXPECT_EQ(atlas.error(), "the topology's countries have too many points");
}

TEST(WorldAtlas, ReadsOnlyRegularFiles) {
    testing::TemporaryDirectory folder;
    const auto fifo = folder.path() / "countries.json";
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    const auto atlas = WorldAtlas::read(fifo);
    ASSERT_FALSE(atlas);
    EXPECT_NE(atlas.error().find("not a regular file"), std::string::npos);
    EXPECT_FALSE(WorldAtlas::read(folder.path() / "missing.json"));
}

}  // namespace
}  // namespace tarnwick
