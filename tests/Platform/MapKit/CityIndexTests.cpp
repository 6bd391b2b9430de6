#include "MapKit/CityIndex.h"

#include <gtest/gtest.h>

#include <cmath>
#include <string>

namespace tarnwick {
namespace {

TEST(CityIndex, NamesTheNearestCityOfTheGeoNamesTable) {
    const auto index = CityIndex::read(TARNWICK_CITY_TABLE);
    ASSERT_TRUE(index) << index.error();
    EXPECT_GT(index->size(), 100'000u);
    const std::pair<CLLocationCoordinate2D, const char*> places[] = {
        {{55.7522, 37.6156}, "Moscow"},
        {{52.52437, 13.41053}, "Berlin"},
        {{-33.86785, 151.20732}, "Sydney"},
        {{64.13548, -21.89541}, "Reykjavík"},
    };
    for (const auto& [at, name] : places) {
        EXPECT_EQ(index->cityName(at), std::optional<std::string>(name)) << name;
    }
    // Far out at sea there is no city to name.
    EXPECT_FALSE(index->cityName({0, -30}));
}

TEST(CityIndex, LooksAcrossCellEdgesAndTheMeridianButNoFartherThanFiftyKilometres) {
    const auto index = CityIndex::parse(R"([
        {"name":"East","lat":"0.0","lng":"179.95","country":"XX"},
        {"name":"Edge","lat":"10.02","lng":"20.0"},
        {"name":"Caf\u00e9 \ud83c\udf0d","lat":"-40","lng":"-60"},
        {"name":"Unplaced","lat":"north","lng":"0"},
        {"name":"Off the globe","lat":"95","lng":"0"}
    ])");
    ASSERT_TRUE(index) << index.error();
    EXPECT_EQ(index->size(), 3u);
    EXPECT_EQ(index->cityName({0, -179.95}), "East");
    EXPECT_EQ(index->cityName({9.98, 20.0}), "Edge");
    EXPECT_EQ(index->cityName({-40.1, -60.1}), "Café 🌍");
    EXPECT_FALSE(index->cityName({11, 20}));
    EXPECT_FALSE(index->cityName({std::nan(""), 0}));
}

TEST(CityIndex, RefusesMalformedTablesWithAReason) {
    const std::string longName(1000, 'x');
    const std::string longNameTable = R"([{"name":")" + longName + R"(","lat":"1","lng":"2"}])";
    const std::pair<const char*, const char*> cases[] = {
        {"not a list", R"({"name":"A"})"},
        {"a string far longer than any name", longNameTable.c_str()},
        {"unterminated", R"([{"name":"A","lat":"1","lng":"2"})"},
        {"a number where a string belongs", R"([{"name":"A","lat":1,"lng":"2"}])"},
        {"a bad escape", R"([{"name":"A\q","lat":"1","lng":"2"}])"},
        {"a lone surrogate", R"([{"name":"\ud800","lat":"1","lng":"2"}])"},
        {"text after the list", R"([] [])"},
        {"a missing comma", R"([{"name":"A" "lat":"1"}])"},
    };
    for (const auto& [name, text] : cases) {
        const auto index = CityIndex::parse(text);
        EXPECT_FALSE(index) << name;
        if (!index) {
            EXPECT_FALSE(index.error().empty()) << name;
        }
    }
    EXPECT_TRUE(CityIndex::parse(" [ ] "));
}

}  // namespace
}  // namespace tarnwick
