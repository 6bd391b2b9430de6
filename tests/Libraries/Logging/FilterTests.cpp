#include "Logging/FilterValidator.h"
#include "Logging/Filters.h"
#include "LoggingTestSupport.h"

namespace tarnwick {
namespace {

struct MatchCase {
    const char* name;
    std::shared_ptr<FilterType> filter;
    std::optional<std::string> text;
    bool matches;
};

TEST(Filter, Comparisons) {
    using M = Filters::Message;
    const MatchCase cases[] = {
        {"contains ignoring case", M::contains({"Net"}, false), "network error", true},
        {"contains with case", M::contains({"Net"}, true), "network error", false},
        {"starts with one of", M::startsWith({"x", "net"}), "network", true},
        {"ends with", M::endsWith({"ERROR"}, false), "network error", true},
        {"ends with no match", M::endsWith({"net"}), "network", false},
        {"equals", M::equals({"abc"}, true), "abc", true},
        {"equals with an empty list", M::equals({}, true), "", false},
        {"excludes one absent string", M::excludes({"a", "b"}, true), "a only", true},
        {"excludes both present", M::excludes({"a", "b"}, true), "a and b", false},
        {"absent text never matches", M::contains({""}), std::nullopt, false},
        {"custom sees the text unchanged",
         M::custom(false, LogLevel::verbose, [](const std::string& s) { return s == " Raw "; }),
         " Raw ", true},
    };
    for (const auto& row : cases) {
        SCOPED_TRACE(row.name);
        EXPECT_EQ(row.filter->matches(row.text), row.matches);
    }
    EXPECT_TRUE(M::excludes({"x"}, true, false)->isExcluded());
    EXPECT_TRUE(M::excludes({"x"}, true, true)->isExcluded());
    EXPECT_FALSE(M::contains({"x"}, true, true)->isExcluded());
    // Targets compare by kind only.
    EXPECT_EQ(M::contains({"a"})->target(), M::equals({"b"})->target());
    EXPECT_FALSE(Filters::Path::contains({"a"})->target() == M::contains({"a"})->target());
}

TEST(FilterValidator, CountsPerValidationType) {
    using V = FilterValidator;
    const std::vector<std::shared_ptr<FilterType>> none;
    const std::string path = "/src/Network.swift";
    const std::string function = "load()";
    const std::optional<std::string> message = "disk full";
    const auto empty = V::validate(
        V::Input{none, LogLevel::info, path, function, message},
        {V::ValidationType::excluded, V::ValidationType::required, V::ValidationType::nonRequired});
    ASSERT_EQ(empty.size(), 3u);
    for (const auto& [type, result] : empty) {
        EXPECT_EQ(result.kind, V::Result::Kind::noFiltersMatchingType);
    }

    const std::vector<std::shared_ptr<FilterType>> filters = {
        Filters::Message::contains({"disk"}, false, false, LogLevel::warning),    // condition only
        Filters::Path::contains({"Network"}, false, false, LogLevel::verbose),    // full match
        Filters::Function::equals({"other()"}, false, false, LogLevel::verbose),  // level only
    };
    const auto result = V::validate(V::Input{filters, LogLevel::info, path, function, message},
                                    V::ValidationType::nonRequired);
    EXPECT_EQ(result.kind, V::Result::Kind::someFiltersMatch);
    EXPECT_EQ(result.partialMatch, (V::PartialMatchData{1, 1, 1}));
}

// Decides one entry on a destination of minimum level `minimum` holding `filters`.
bool decide(std::vector<std::shared_ptr<FilterType>> filters, LogLevel minimum, LogLevel level,
            const std::string& path, const std::optional<std::string>& message) {
    BaseDestination destination;
    destination.setMinLevel(minimum);
    for (auto& filter : filters) {
        destination.addFilter(filter);
    }
    return destination.shouldLevelBeLogged(level, path, "f()", message);
}

TEST(FilterDecision, RequiredPathFilterOverridesTheMinimumLevel) {
    const auto filter = Filters::Path::endsWith({"Network"}, true, true, LogLevel::verbose);
    EXPECT_TRUE(decide({filter}, LogLevel::error, LogLevel::verbose, "/src/Network", "m"));
    EXPECT_FALSE(decide({filter}, LogLevel::verbose, LogLevel::error, "/src/Disk", "m"));
}

TEST(FilterDecision, NonRequiredMessageFilter) {
    const auto filter = Filters::Message::contains({"disk"}, false, false, LogLevel::warning);
    EXPECT_TRUE(decide({filter}, LogLevel::error, LogLevel::warning, "p", "disk full"));
    EXPECT_FALSE(decide({filter}, LogLevel::verbose, LogLevel::info, "p", "disk full"));
    // Without the word the destination's own minimum decides.
    EXPECT_TRUE(decide({filter}, LogLevel::info, LogLevel::info, "p", "cpu hot"));
    EXPECT_FALSE(decide({filter}, LogLevel::warning, LogLevel::info, "p", "cpu hot"));
}

TEST(FilterDecision, ExclusionFiltersMustAllFullyMatch) {
    const auto noSecrets = Filters::Message::excludes({"secret"}, false, false, LogLevel::warning);
    EXPECT_FALSE(decide({noSecrets}, LogLevel::verbose, LogLevel::info, "p", "public"));
    EXPECT_FALSE(decide({noSecrets}, LogLevel::verbose, LogLevel::error, "p", "a secret"));
    EXPECT_TRUE(decide({noSecrets}, LogLevel::verbose, LogLevel::error, "p", "public"));

    const auto noTokens = Filters::Message::excludes({"token"}, false, false, LogLevel::verbose);
    EXPECT_FALSE(decide({noSecrets, noTokens}, LogLevel::verbose, LogLevel::error, "p", "token"));
    EXPECT_TRUE(decide({noSecrets, noTokens}, LogLevel::verbose, LogLevel::error, "p", "fine"));
}

TEST(FilterDecision, AllRequiredMatchingSkipsTheNonRequired) {
    const auto required = Filters::Path::contains({"src"}, false, true, LogLevel::verbose);
    const auto neverMatches = Filters::Message::equals({"zzz"}, false, false, LogLevel::verbose);
    EXPECT_TRUE(decide({required, neverMatches}, LogLevel::error, LogLevel::debug, "/src/a", "m"));
}

TEST(FilterDecision, MessageFilterWithoutResolvedTextDoesNotMatch) {
    const auto filter = Filters::Message::contains({"x"}, false, true, LogLevel::verbose);
    EXPECT_FALSE(decide({filter}, LogLevel::verbose, LogLevel::error, "p", std::nullopt));
}

}  // namespace
}  // namespace tarnwick
