#include "OSLog/OSLog.h"

#include <gtest/gtest.h>

namespace tarnwick {
namespace {

TEST(OSLog, PassesMessagesThroughUnchangedPercentSignsIncluded) {
    std::vector<std::tuple<std::string, std::string, OSLogType>> seen;
    OSLog::setObserverForTesting([&](const OSLog& log, OSLogType type, std::string_view message) {
        seen.emplace_back(log.category(), std::string(message), type);
    });
    const OSLog link("com.brenlow-works.corvid", "xpc");
    link.log(OSLogType::error, "100% %s %n done");
    osLog("Unable to encode restrictions");
    OSLog::setObserverForTesting(nullptr);

    ASSERT_EQ(seen.size(), 2u);
    EXPECT_EQ(seen[0], std::make_tuple(std::string("xpc"), std::string("100% %s %n done"),
                                       OSLogType::error));
    EXPECT_EQ(std::get<1>(seen[1]), "Unable to encode restrictions");
}

}  // namespace
}  // namespace tarnwick
