#include "OSLog/OSLogThrottle.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

using namespace std::chrono_literals;

namespace tarnwick {
namespace {

TEST(OSLogThrottle, AFloodGivesOneLinePerIntervalAndCountsWhatWasLeftOut) {
    std::vector<std::string> seen;
    OSLog::setObserverForTesting(
        [&](const OSLog&, OSLogType, std::string_view message) { seen.emplace_back(message); });
    OSLogThrottle throttle(1s);
    const auto start = OSLogThrottle::Clock::time_point() + 1h;
    for (int i = 0; i < 1000; ++i) {
        throttle.log("Refused", OSLogType::error, OSLog::defaultLog(), start + i * 1ms);
    }
    throttle.log("Refused", OSLogType::error, OSLog::defaultLog(), start + 1s);
    throttle.log("Refused", OSLogType::error, OSLog::defaultLog(), start + 5s);
    OSLog::setObserverForTesting(nullptr);

    EXPECT_EQ(seen, (std::vector<std::string>{"Refused", "Refused (999 more like it were left out)",
                                              "Refused"}));
}

}  // namespace
}  // namespace tarnwick
