#include "Tools/AllowanceLookup.h"

#include <gtest/gtest.h>

namespace tarnwick {
namespace {

TEST(AllowanceLookup, FindsEveryEntryOfALongListAndNothingElse) {
    std::vector<std::string> hosts;
    std::vector<HitListEntry> hits;
    for (int i = 0; i < 5000; ++i) {
        hosts.push_back("host-" + std::to_string(i) + ".example");
        hits.push_back({"org.example.app" + std::to_string(i), "192.0.2." + std::to_string(i)});
    }
    hosts.push_back("host-7.example");  // a repeat changes nothing
    const std::vector<std::string> bundleIds = {"org.example.Only"};
    const AllowanceLookup lookup(bundleIds, hosts, hits);
    for (int i = 0; i < 5000; ++i) {
        const std::string n = std::to_string(i);
        ASSERT_TRUE(lookup.containsHostName("host-" + n + ".example")) << i;
        ASSERT_TRUE(lookup.containsHit("org.example.app" + n, "192.0.2." + n)) << i;
        ASSERT_FALSE(lookup.containsHostName("host-" + n + ".example.")) << i;
        // Each half belongs to another entry.
        ASSERT_FALSE(lookup.containsHit("org.example.app" + n, "192.0.2." + std::to_string(i + 1)));
    }
    EXPECT_TRUE(lookup.containsBundleId("org.example.Only"));
    EXPECT_FALSE(lookup.containsBundleId("org.example.only"));
    EXPECT_FALSE(lookup.containsBundleId(""));
    EXPECT_FALSE(AllowanceLookup().containsHostName("host-1.example"));
}

}  // namespace
}  // namespace tarnwick
