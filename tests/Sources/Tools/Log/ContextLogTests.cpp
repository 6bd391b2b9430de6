#include "Foundation/DateFormatter.h"
#include "Logging/FileDestination.h"
#include "Tools/Log/ContextLog.h"
#include "Tools/Log/LoggingSetUp.h"
#include "support/TemporaryDirectory.h"

#include <gtest/gtest.h>

#include <chrono>

namespace tarnwick {
namespace {

using testing::readFile;
using testing::TemporaryDirectory;

// 2026-01-02 03:04:05.678 in Tokyo, where the tests' local time is.
WallClock::TimePoint localMoment() {
    using namespace std::chrono;
    return sys_days{2026y / January / 1} + 18h + 4min + 5s + 678ms;
}

class ContextLogTest : public ::testing::Test {
protected:
    void SetUp() override {
        DateFormatter::setLocalTimeZoneForTesting("Asia/Tokyo");
        LogHub::removeAllDestinations();
        setUpLogging(directories(), m_clock);
    }
    void TearDown() override { LogHub::removeAllDestinations(); }

    StandardDirectories directories() const {
        const auto home = m_home.path();
        return StandardDirectories([home](const std::string& name) -> std::optional<std::string> {
            if (name == "HOME") {
                return home.string();
            }
            return std::nullopt;
        });
    }

    std::string logFile() {
        EXPECT_TRUE(LogHub::flush(5));
        return readFile(m_home / ".local/share/Tarnwick/Logs/tarnwick.log");
    }

    TemporaryDirectory m_home;
    FixedWallClock m_clock{localMoment()};
};

TEST_F(ContextLogTest, LinesCarryTheContextOrNoneThroughTheFacade) {
    const ContextLog log(LogContextType::staticAnalysis);
    log.info("message");
    LogHub::info("message");
    log.error(42);
    ContextLog(LogContextType::appMover).warning("moved");
    EXPECT_EQ(logFile(),
              "2026-01-02 03:04:05.678 [INFO][Static Analysis]: message\n"
              "2026-01-02 03:04:05.678 [INFO]: message\n"
              "2026-01-02 03:04:05.678 [ERROR][Static Analysis]: 42\n"
              "2026-01-02 03:04:05.678 [WARNING][App Mover]: moved\n");
}

TEST_F(ContextLogTest, DebugNeverReachesTheFile) {
    ContextLog(LogContextType::sheets).debug("hidden");
    LogHub::debug("hidden too");
    ContextLog(LogContextType::sheets).info("shown");
    EXPECT_EQ(logFile(), "2026-01-02 03:04:05.678 [INFO][Sheets]: shown\n");
}

TEST_F(ContextLogTest, EntriesNameTheFrontEndAsTheirOrigin) {
    const auto origin = ContextLog::origin(LogLevel::warning);
    const std::string file = origin.file;
    EXPECT_NE(file.find("Sources/Tools/Log/ContextLog."), std::string::npos);
    EXPECT_STREQ(origin.function, "warning(_:contextType:)");
    EXPECT_EQ(origin.line, 63);
    EXPECT_EQ(ContextLog::origin(LogLevel::debug).line, 55);
    EXPECT_EQ(ContextLog::origin(LogLevel::info).line, 59);
    EXPECT_EQ(ContextLog::origin(LogLevel::error).line, 67);
}

TEST(LogContextType, RawValuesAreCaseSensitive) {
    EXPECT_EQ(rawValue(LogContextType::feedbackForm), "Feedback Form");
    EXPECT_EQ(rawValue(LogContextType::preferencesWindow), "Preferences Window");
    EXPECT_EQ(logContextTypeFromRawValue("Static Analysis"), LogContextType::staticAnalysis);
    EXPECT_EQ(logContextTypeFromRawValue("static analysis"), std::nullopt);
    EXPECT_EQ(logContextTypeFromRawValue("staticAnalysis"), std::nullopt);
}

TEST(LoggingSetUp, WithoutApplicationSupportStillRegistersOneDestination) {
    LogHub::removeAllDestinations();
    const StandardDirectories nowhere([](const std::string&) { return std::nullopt; });
    setUpLogging(nowhere, WallClock::system());
    const auto destinations = LogHub::destinations();
    ASSERT_EQ(destinations.size(), 1u);
    const auto* file = dynamic_cast<const FileDestination*>(destinations.front().get());
    ASSERT_NE(file, nullptr);
    EXPECT_EQ(file->minLevel(), LogLevel::info);
    EXPECT_EQ(file->format(), "$Dyyyy-MM-dd HH:mm:ss.SSS$d $C[$L]$c$X: $M");
    EXPECT_TRUE(file->asynchronously());
    LogHub::removeAllDestinations();
}

}  // namespace
}  // namespace tarnwick
