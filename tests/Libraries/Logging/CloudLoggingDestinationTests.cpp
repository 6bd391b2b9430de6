#include "Logging/CloudLoggingDestination.h"
#include "LoggingTestSupport.h"

#include <nlohmann/json.hpp>

namespace tarnwick {
namespace {

using nlohmann::json;
using testing::LogHubTest;

struct Printed {
    std::optional<std::string> returned;
    std::string output;
};

Printed sent(CloudLoggingDestination& destination, LogLevel level, const std::string& message,
             const LogValue& context = {}, const std::string& file = "/src/App/Main.swift",
             const std::string& function = "run()") {
    ::testing::internal::CaptureStdout();
    auto returned = destination.send(level, message, "main", file, function, 42, context);
    return {returned, ::testing::internal::GetCapturedStdout()};
}

json location(const std::string& file = "/src/App/Main.swift",
              const std::string& function = "run()") {
    return {{"filePath", file}, {"lineNumber", 42}, {"functionName", function}};
}

TEST(CloudLoggingDestination, OneJsonLinePerEntryWithItsSeverity) {
    CloudLoggingDestination destination("billing");
    const std::pair<LogLevel, const char*> levels[] = {
        {LogLevel::verbose, "DEBUG"},   {LogLevel::debug, "DEBUG"}, {LogLevel::info, "INFO"},
        {LogLevel::warning, "WARNING"}, {LogLevel::error, "ERROR"},
    };
    destination.setFormat("$L never applied $M");
    for (const auto& [level, severity] : levels) {
        SCOPED_TRACE(severity);
        const auto printed = sent(destination, level, "disk \"full\" ✓");
        ASSERT_TRUE(printed.returned);
        EXPECT_EQ(printed.output, *printed.returned + "\n");
        EXPECT_EQ(printed.returned->find('\n'), std::string::npos);
        EXPECT_EQ(json::parse(*printed.returned),
                  (json{{"serviceContext", {{"service", "billing"}}},
                        {"message", "disk \"full\" ✓"},
                        {"severity", severity},
                        {"context", {{"reportLocation", location()}}}}));
    }
}

TEST(CloudLoggingDestination, TakesOnlyAnHttpRequestObjectAndAUserTextFromTheContext) {
    CloudLoggingDestination destination("svc");
    const Value::Dictionary request = {{"requestMethod", "GET"},
                                       {"status", 200},
                                       {"latency", 0.25},
                                       {"cached", false},
                                       {"headers", Value::Array{"a", Value()}}};
    json requestJson = {{"requestMethod", "GET"},
                        {"status", 200},
                        {"latency", 0.25},
                        {"cached", false},
                        {"headers", {"a", nullptr}}};
    struct Case {
        const char* name;
        LogValue context;
        json expected;
    };
    const json onlyLocation = {{"reportLocation", location()}};
    json both = onlyLocation;
    both["httpRequest"] = requestJson;
    both["user"] = "ada";
    json userOnly = onlyLocation;
    userOnly["user"] = "ada";
    const Case cases[] = {
        {"no context", LogValue(), onlyLocation},
        {"a number", LogValue(7), onlyLocation},
        {"a text", LogValue("user"), onlyLocation},
        {"an empty object", LogValue(Value::Dictionary{}), onlyLocation},
        {"other keys only", LogValue(Value::Dictionary{{"session", "x"}}), onlyLocation},
        {"user that is a number", LogValue(Value::Dictionary{{"user", 5}}), onlyLocation},
        {"request that is text", LogValue(Value::Dictionary{{"httpRequest", "GET /"}}),
         onlyLocation},
        {"both, beside other keys",
         LogValue(Value::Dictionary{{"httpRequest", request}, {"user", "ada"}, {"x", 1}}), both},
        {"user beside a request that is text",
         LogValue(Value::Dictionary{{"httpRequest", 3}, {"user", "ada"}}), userOnly},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const auto printed = sent(destination, LogLevel::info, "m", c.context);
        ASSERT_TRUE(printed.returned);
        EXPECT_EQ(json::parse(*printed.returned)["context"], c.expected);
    }
}

TEST(CloudLoggingDestination, UnwritableContextGivesAValidCriticalLineThatKeepsTheLocation) {
    CloudLoggingDestination destination("svc");
    const std::string file = "C:\\src\\\"odd\" name\xff.swift";
    const std::string function = "run(\"x\")\n";
    const LogValue cases[] = {
        LogValue(Value::Dictionary{{"httpRequest", Value::Dictionary{{"body", Value::Data{1}}}}}),
        LogValue(Value::Dictionary{
            {"httpRequest",
             Value::Dictionary{{"latency", std::numeric_limits<double>::infinity()}}},
            {"user", "ada"}}),
    };
    for (const auto& context : cases) {
        const auto printed = sent(destination, LogLevel::error, "lost", context, file, function);
        ASSERT_TRUE(printed.returned);
        EXPECT_EQ(printed.output, *printed.returned + "\n");
        const json line = json::parse(*printed.returned);
        EXPECT_EQ(line["severity"], "CRITICAL");
        EXPECT_EQ(line["message"],
                  "Error encoding JSON log entry. You may be losing log messages!");
        EXPECT_EQ(line["context"],
                  (json{{"reportLocation",
                         location("C:\\src\\\"odd\" name\xef\xbf\xbd.swift", function)}}));
        EXPECT_FALSE(line.contains("serviceContext"));
    }
    EXPECT_EQ(CloudLoggingDestination::failureLine("/a/b.swift", "f()", -3),
              "{\"context\":{\"reportLocation\":{\"filePath\": \"/a/b.swift\",\"functionName\":"
              "\"f()\",\"lineNumber\":-3}},\"severity\":\"CRITICAL\",\"message\":\"Error encoding "
              "JSON log entry. You may be losing log messages!\"}");
}

TEST(CloudLoggingDestination, BrokenUtf8InAMessageIsRepairedNotLost) {
    CloudLoggingDestination destination("svc");
    const auto printed = sent(destination, LogLevel::info, "caf\xe9 open");
    ASSERT_TRUE(printed.returned);
    EXPECT_EQ(json::parse(*printed.returned)["message"], "caf\xef\xbf\xbd open");
}

TEST_F(LogHubTest, CloudLineIsOutBeforeTheLogCallReturns) {
    auto destination = std::make_shared<CloudLoggingDestination>("svc");
    destination->setAsynchronously(true);
    EXPECT_FALSE(destination->asynchronously());
    BaseDestination& base = *destination;
    base.setAsynchronously(true);
    EXPECT_FALSE(base.asynchronously());
    destination->setMinLevel(LogLevel::info);
    LogHub::addDestination(destination);

    ::testing::internal::CaptureStdout();
    LogHub::debug("below the minimum");
    LogHub::warning("careful", "/src/Job.swift", "run()", 9,
                    LogValue(Value::Dictionary{{"user", "ada"}}));
    const std::string output = ::testing::internal::GetCapturedStdout();
    ASSERT_FALSE(output.empty());
    EXPECT_EQ(output.find('\n'), output.size() - 1);
    const json line = json::parse(output);
    EXPECT_EQ(line["message"], "careful");
    EXPECT_EQ(line["severity"], "WARNING");
    EXPECT_EQ(line["context"]["user"], "ada");
    EXPECT_EQ(line["context"]["reportLocation"],
              (json{{"filePath", "/src/Job.swift"}, {"lineNumber", 9}, {"functionName", "run()"}}));
}

}  // namespace
}  // namespace tarnwick
