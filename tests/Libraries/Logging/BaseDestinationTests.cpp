#include "Foundation/DateFormatter.h"
#include "LoggingTestSupport.h"

#include <nlohmann/json.hpp>

namespace tarnwick {
namespace {

using testing::fixedMoment;
using testing::SettableClock;

struct FormatCase {
    const char* name;
    const char* format;
    LogLevel level;
    const char* message;
    LogValue context;
    const char* expected;
};

class FormatTest : public ::testing::Test {
protected:
    // Local time is Tokyo (UTC+9), so a local date can never pass for a UTC one.
    void SetUp() override { DateFormatter::setLocalTimeZoneForTesting("Asia/Tokyo"); }

    std::string render(BaseDestination& destination, const std::string& format, LogLevel level,
                       const std::string& message, const LogValue& context = {}) {
        return destination.formatMessage(format, level, message, "worker", "/src/Tools/Thing.swift",
                                         "scan()", 42, context);
    }

    SettableClock m_clock{fixedMoment()};
};

TEST_F(FormatTest, TokensWidthsAndTrailingBlanks) {
    const FormatCase cases[] = {
        {"message trailing blanks removed", "$M", LogLevel::info, "hello \t\n", {}, "hello"},
        {"message leading blanks kept", "$M", LogLevel::info, "  lead", {}, "  lead"},
        {"positive width pads in front", "$10L", LogLevel::info, "", {}, "      INFO"},
        {"negative width pads behind", "$-10L|", LogLevel::info, "", {}, "INFO      |"},
        {"padding at the end is trimmed", "$-10L", LogLevel::info, "", {}, "INFO"},
        {"width never shortens", "$2L", LogLevel::warning, "", {}, "WARNING"},
        {"width counts characters", "$4M|", LogLevel::info, "é", {}, "   é|"},
        {"minus without digits is literal", "$-X: $M", LogLevel::info, "m", {}, "-X: m"},
        {"no dollar copied unchanged", "plain text  ", LogLevel::info, "", {}, "plain text"},
        {"unknown token loses its dollar", "$Qrest", LogLevel::info, "", {}, "Qrest"},
        {"two dollars output nothing between", "a$$b", LogLevel::info, "", {}, "ab"},
        {"width without token renders nothing", "a$12", LogLevel::info, "", {}, "a"},
        {"file names", "$N|$n", LogLevel::info, "", {}, "Thing|Thing.swift"},
        {"function line thread", "$F:$l@$T", LogLevel::info, "", {}, "scan():42@worker"},
        {"context trimmed", "[$X]", LogLevel::info, "", LogValue(" \n ctx \n"), "[ctx]"},
        {"blank context is empty", "[$X]", LogLevel::info, "", LogValue("  \n "), "[]"},
        {"absent context padded", "$3X|", LogLevel::info, "", {}, "   |"},
        {"numeric context", "$X", LogLevel::info, "", LogValue(7), "7"},
        {"colours off by default", "$C$L$c", LogLevel::error, "", {}, "ERROR"},
        {"default format",
         "$DHH:mm:ss.SSS$d $C$L$c $N.$F:$l - $M",
         LogLevel::debug,
         "msg",
         {},
         "12:04:05.678 DEBUG Thing.scan():42 - msg"},
        {"application format with context", "$Dyyyy-MM-dd HH:mm:ss.SSS$d $C[$L]$c$X: $M",
         LogLevel::info, "message", LogValue("[Static Analysis]"),
         "2026-01-02 12:04:05.678 [INFO][Static Analysis]: message"},
        {"application format without context",
         "$Dyyyy-MM-dd HH:mm:ss.SSS$d $C[$L]$c$X: $M",
         LogLevel::info,
         "message",
         {},
         "2026-01-02 12:04:05.678 [INFO]: message"},
        {"utc date", "$Zyyyy-MM-dd HH:mm$z", LogLevel::info, "", {}, "2026-01-02 03:04"},
        {"local date after utc date stays local",
         "$ZHH:mm$z $DHH:mm$d",
         LogLevel::info,
         "",
         {},
         "03:04 12:04"},
    };
    BaseDestination destination(m_clock);
    for (const auto& row : cases) {
        SCOPED_TRACE(row.name);
        EXPECT_EQ(render(destination, row.format, row.level, row.message, row.context),
                  row.expected);
    }
}

TEST_F(FormatTest, ColoursAndLevelWordsComeFromTheSettings) {
    BaseDestination destination(m_clock);
    destination.setEscape("<");
    destination.setReset(">");
    destination.setLevelColor(LevelColor{"v", "d", "i", "w", "e"});
    LevelString words;
    words.warning = "WARN";
    destination.setLevelString(words);
    EXPECT_EQ(render(destination, "$C$L$c $5C$L$c", LogLevel::warning, ""), "<wWARN> <wWARN>");
}

// A width from a hand-edited format once allocated gigabytes per line and ended the process.
TEST_F(FormatTest, HugeWidthsCountAsTheLargestWidth) {
    BaseDestination destination(m_clock);
    const std::string padding(BaseDestination::kMaximumWidth - 1, ' ');
    for (const char* format : {"$3000000000M|", "$99999999999999999999999M|"}) {
        SCOPED_TRACE(format);
        EXPECT_EQ(render(destination, format, LogLevel::info, "m"), padding + "m|");
    }
    for (const char* format : {"$-3000000000M|", "$-99999999999999999999999M|"}) {
        SCOPED_TRACE(format);
        EXPECT_EQ(render(destination, format, LogLevel::info, "m"), "m" + padding + "|");
    }
}

TEST_F(FormatTest, UptimeCountsFromConstruction) {
    BaseDestination destination(m_clock);
    using namespace std::chrono;
    m_clock.set(fixedMoment() + 1h + 2min + 5s + 500ms);
    EXPECT_EQ(render(destination, "$U", LogLevel::info, ""), "01:02:05.500");
    m_clock.set(fixedMoment() + 100h);
    EXPECT_EQ(destination.uptime(), "100:00:00.000");
}

TEST_F(FormatTest, JsonFormCarriesTheRawLevelAndTheContextValue) {
    BaseDestination destination(m_clock);
    destination.setFormat("$J this part is ignored");
    LevelString words;
    words.info = "INFORMATION";
    destination.setLevelString(words);
    const auto text = destination.send(LogLevel::info, "a/b \"quoted\"", "t", "/f.cpp", "fn()", 3,
                                       LogValue(std::int64_t{5}));
    ASSERT_TRUE(text.has_value());
    EXPECT_EQ(text->find('\n'), std::string::npos);
    const auto json = nlohmann::json::parse(*text);
    EXPECT_EQ(json.at("level"), 2);
    EXPECT_EQ(json.at("message"), "a/b \"quoted\"");
    EXPECT_EQ(json.at("thread"), "t");
    EXPECT_EQ(json.at("file"), "/f.cpp");
    EXPECT_EQ(json.at("function"), "fn()");
    EXPECT_EQ(json.at("line"), 3);
    EXPECT_EQ(json.at("context"), 5);
    EXPECT_DOUBLE_EQ(json.at("timestamp").get<double>(), 1767323045.678);
    EXPECT_EQ(text->find("INFORMATION"), std::string::npos);

    const auto withoutContext = nlohmann::json::parse(
        *destination.send(LogLevel::error, "m", "t", "f", "g", 1, LogValue()));
    EXPECT_FALSE(withoutContext.contains("context"));
}

TEST_F(FormatTest, JsonOfTextThatIsNotUtf8YieldsNothing) {
    BaseDestination destination(m_clock);
    destination.setFormat("$J");
    ::testing::internal::CaptureStdout();
    const auto text = destination.send(LogLevel::info, "bad \xff byte", "", "", "", 0, {});
    EXPECT_EQ(::testing::internal::GetCapturedStdout(),
              "LogHub could not create JSON from dict.\n");
    EXPECT_EQ(text, std::nullopt);
}

TEST(BaseDestination, MinimumLevelDecidesWithoutFilters) {
    BaseDestination destination;
    destination.setMinLevel(LogLevel::info);
    EXPECT_FALSE(destination.shouldLevelBeLogged(LogLevel::debug, "p", "f", std::nullopt));
    EXPECT_TRUE(destination.shouldLevelBeLogged(LogLevel::error, "p", "f", std::nullopt));

    destination.setDebugPrint(true);
    ::testing::internal::CaptureStdout();
    destination.shouldLevelBeLogged(LogLevel::debug, "p", "f", std::nullopt);
    EXPECT_EQ(::testing::internal::GetCapturedStdout(), "filters are empty and level < minLevel\n");
}

TEST(BaseDestination, EachDestinationHasItsOwnLabelledQueue) {
    BaseDestination first;
    BaseDestination second;
    ASSERT_TRUE(first.queue() && second.queue());
    EXPECT_NE(first.queue(), second.queue());
    for (const auto* destination : {&first, &second}) {
        const auto& label = destination->queue()->label();
        EXPECT_EQ(label.rfind("loghub-queue-", 0), 0u);
        EXPECT_EQ(label.size(), std::string("loghub-queue-").size() + 36);
    }
    EXPECT_NE(first.queue()->label(), second.queue()->label());
    EXPECT_EQ(first.defaultHashValue(), 0);
}

}  // namespace
}  // namespace tarnwick
