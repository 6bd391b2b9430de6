#include "Logging/ConsoleDestination.h"
#include "LoggingTestSupport.h"
#include "OSLog/OSLog.h"

namespace tarnwick {
namespace {

using testing::fixedMoment;

std::string printed(ConsoleDestination& destination, LogLevel level, const std::string& message) {
    ::testing::internal::CaptureStdout();
    destination.send(level, message, "", "/src/File.swift", "run()", 7, {});
    return ::testing::internal::GetCapturedStdout();
}

TEST(ConsoleDestination, MarksLevelsWithHeartsOrTerminalColours) {
    FixedWallClock clock(fixedMoment());
    ConsoleDestination destination(clock);
    destination.setFormat("$C$L$c $M");
    EXPECT_EQ(destination.defaultHashValue(), 1);
    EXPECT_EQ(printed(destination, LogLevel::info, "hi"), "💙 INFO hi\n");
    EXPECT_EQ(printed(destination, LogLevel::error, "hi"), "❤️ ERROR hi\n");

    destination.setUseTerminalColors(true);
    EXPECT_EQ(printed(destination, LogLevel::info, "hi"), "\x1b[38;5;38mINFO\x1b[0m hi\n");

    // Back to hearts; the escape sequences stay.
    destination.setUseTerminalColors(false);
    EXPECT_EQ(printed(destination, LogLevel::info, "hi"), "\x1b[38;5;💙 INFO\x1b[0m hi\n");
}

TEST(ConsoleDestination, SystemLogInsteadOfStandardOutput) {
    ConsoleDestination destination;
    destination.setFormat("$M");
    destination.setUseNSLog(true);
    std::vector<std::string> logged;
    OSLog::setObserverForTesting(
        [&](const OSLog&, OSLogType, std::string_view line) { logged.emplace_back(line); });
    EXPECT_EQ(printed(destination, LogLevel::info, "50% done"), "");
    OSLog::setObserverForTesting(nullptr);
    EXPECT_EQ(logged, std::vector<std::string>{"50% done"});
}

TEST(ConsoleDestination, JsonThatCannotBeBuiltPrintsOnlyTheFailure) {
    ConsoleDestination destination;
    destination.setFormat("$J");
    EXPECT_EQ(printed(destination, LogLevel::info, "\xff"),
              "LogHub could not create JSON from dict.\n");
    const auto line = printed(destination, LogLevel::info, "ok");
    EXPECT_EQ(line.front(), '{');
    EXPECT_EQ(line.back(), '\n');
}

}  // namespace
}  // namespace tarnwick
