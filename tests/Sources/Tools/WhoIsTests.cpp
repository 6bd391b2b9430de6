#include "Dispatch/DispatchQueue.h"
#include "Dispatch/RunLoop.h"
#include "GeoIPTestServer.h"
#include "Tools/WhoIs.h"
#include "Tools/WhoisCache.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <optional>
#include <string>
#include <thread>
#include <vector>

using namespace std::chrono_literals;

namespace tarnwick {
namespace {

using Response = WhoIs::Response;
using Coordinates = WhoIs::Response::Coordinates;

class WhoIsTest : public ::testing::Test {
protected:
    void SetUp() override { WhoisCache::shared().removeAllForTesting(); }
    void TearDown() override { WhoisCache::shared().removeAllForTesting(); }

    // Looks up and waits for the answer from the main queue.
    static std::optional<Response> lookUp(const WhoIs& whois, const std::string& address,
                                          const std::optional<std::string>& url = std::nullopt) {
        bool done = false;
        std::optional<Response> answer;
        whois.lookup(address, url, [&](std::optional<Response> result) {
            answer = std::move(result);
            done = true;
        });
        EXPECT_TRUE(RunLoop::main().runUntil([&] { return done; }, 60s));
        return answer;
    }

    testing::GeoIPTestServer m_server;
};

TEST_F(WhoIsTest, LocalAddressesAreAnsweredAtOnceWithoutRequestOrCache) {
    WhoIs whois(m_server.service());
    for (const std::string address :
         {"127.0.0.1", "127.8.9.10", "::1", "169.254.1.1", "fe80::1",
          // Written out in full, without "::", it is still a link-local IPv6 address.
          "fe80:0:0:0:0:0:0:1", "fe80::1%eth0", "::ffff:127.0.0.1", "::ffff:169.254.9.9"}) {
        SCOPED_TRACE(address);
        bool called = false;
        whois.lookup(address, "https://example.ru/", [&](std::optional<Response> answer) {
            called = true;
            ASSERT_TRUE(answer.has_value());
            EXPECT_EQ(*answer, (Response{address, "local", std::nullopt, true}));
        });
        EXPECT_TRUE(called);  // synchronously, before lookup returned
    }
    RunLoop::main().runFor(0ms);
    EXPECT_TRUE(m_server.asked().empty());
    EXPECT_EQ(WhoisCache::shared().count(), 0u);
}

TEST_F(WhoIsTest, OnlyLoopbackAndLinkLocalAreLocal) {
    for (const char* address :
         {"192.168.1.10", "10.0.0.1", "172.16.0.1", "169.255.0.1", "128.0.0.1", "8.8.8.8",
          "fd00::1", "fec0::1", "::ffff:10.0.0.1", "::", "not an address", "", "127.1"}) {
        EXPECT_FALSE(WhoIs::isLocalAddress(address)) << address;
    }
    EXPECT_FALSE(WhoIs::isLocalAddress(std::string("127.0.0.1\0x", 11)));
}

TEST_F(WhoIsTest, PrivateAddressesAreSentToTheServiceAndAnswerOnTheMainQueue) {
    WhoIs whois(m_server.service());
    m_server.setAnswer("192.168.1.10",
                       R"({"country": {"isoCode": "ru"}, "city": {"lat": 55.75, "long": 37.62}})");
    bool calledInPlace = false;
    bool onMain = false;
    std::optional<Response> answer;
    bool done = false;
    whois.lookup("192.168.1.10", std::nullopt, [&](std::optional<Response> result) {
        onMain = isMainThread();
        answer = std::move(result);
        done = true;
    });
    calledInPlace = done;
    ASSERT_TRUE(RunLoop::main().runUntil([&] { return done; }, 60s));
    EXPECT_FALSE(calledInPlace);
    EXPECT_TRUE(onMain);
    EXPECT_EQ(answer, (Response{"192.168.1.10", "RU", Coordinates{55.75, 37.62}, false}));

    EXPECT_TRUE(lookUp(whois, "10.0.0.1").has_value());
    EXPECT_EQ(m_server.asked(), (std::vector<std::string>{"192.168.1.10", "10.0.0.1"}));
}

TEST_F(WhoIsTest, CachedAnswerComesSynchronouslyOnAnyThreadWhateverTheURL) {
    WhoIs whois(m_server.service());
    m_server.setAnswer("8.8.8.8", R"({"country": {"isoCode": "us"}})");
    ASSERT_EQ(lookUp(whois, "8.8.8.8"), (Response{"8.8.8.8", "US", std::nullopt, false}));

    // Another client, another thread, and a URL that would otherwise override the country.
    WhoIs other(m_server.service());
    std::optional<Response> cached;
    bool calledInPlace = false;
    std::thread([&] {
        other.lookup("8.8.8.8", "https://www.example.de/page",
                     [&](std::optional<Response> answer) { cached = std::move(answer); });
        calledInPlace = cached.has_value();
    }).join();
    EXPECT_TRUE(calledInPlace);
    EXPECT_EQ(cached, (Response{"8.8.8.8", "US", std::nullopt, false}));
    EXPECT_EQ(m_server.asked().size(), 1u);
}

TEST_F(WhoIsTest, OverriddenAnswerIsWhatTheCacheKeeps) {
    WhoIs whois(m_server.service());
    m_server.setAnswer("5.6.7.8",
                       R"({"country": {"isoCode": "US"}, "city": {"lat": 1, "long": 2}})");
    EXPECT_EQ(lookUp(whois, "5.6.7.8", "https://www.example.de/path/page"),
              (Response{"5.6.7.8", "DE", std::nullopt, false}));
    EXPECT_EQ(lookUp(whois, "5.6.7.8"), (Response{"5.6.7.8", "DE", std::nullopt, false}));
    EXPECT_EQ(m_server.asked().size(), 1u);
}

TEST_F(WhoIsTest, UnusableAnswerIsNotRetriedNorCachedAndTheStatusIsNotExamined) {
    WhoIs whois(m_server.service());
    m_server.setStatus(500);
    m_server.setAnswer("1.2.3.4", R"({"country": "RU"})");
    EXPECT_EQ(lookUp(whois, "1.2.3.4"), std::nullopt);
    EXPECT_EQ(m_server.asked().size(), 1u);
    EXPECT_EQ(WhoisCache::shared().count(), 0u);

    // Whatever body arrives is parsed, even with an error status; the next lookup asks again.
    m_server.setAnswer("1.2.3.4", R"({"country": {"isoCode": "by"}})");
    EXPECT_EQ(lookUp(whois, "1.2.3.4"), (Response{"1.2.3.4", "BY", std::nullopt, false}));
    EXPECT_EQ(m_server.asked().size(), 2u);
    EXPECT_EQ(WhoisCache::shared().count(), 1u);
}

TEST_F(WhoIsTest, FailedTransfersAreTriedSixTimesInAll) {
    testing::DroppingServer alwaysFails(1000, "");
    WhoIs failing(alwaysFails.service());
    EXPECT_EQ(lookUp(failing, "9.9.9.9"), std::nullopt);
    EXPECT_EQ(alwaysFails.connections(), 6);
    EXPECT_EQ(WhoisCache::shared().count(), 0u);

    testing::DroppingServer failsThrice(3, R"({"country": {"isoCode": "fi"}})");
    WhoIs recovering(failsThrice.service());
    EXPECT_EQ(lookUp(recovering, "9.9.9.9"), (Response{"9.9.9.9", "FI", std::nullopt, false}));
    EXPECT_EQ(failsThrice.connections(), 4);
}

TEST_F(WhoIsTest, TwoLookupsBeforeTheFirstAnswerBothAskTheService) {
    WhoIs whois(m_server.service());
    int answers = 0;
    whois.lookup("4.4.4.4", std::nullopt, [&](std::optional<Response>) { ++answers; });
    whois.lookup("4.4.4.4", std::nullopt, [&](std::optional<Response>) { ++answers; });
    ASSERT_TRUE(RunLoop::main().runUntil([&] { return answers == 2; }, 60s));
    EXPECT_EQ(m_server.asked().size(), 2u);
    EXPECT_EQ(WhoisCache::shared().count(), 1u);
}

TEST_F(WhoIsTest, LookupOutlivesItsClient) {
    std::optional<Response> answer;
    bool done = false;
    {
        WhoIs whois(m_server.service());
        whois.lookup("3.3.3.3", std::nullopt, [&](std::optional<Response> result) {
            answer = std::move(result);
            done = true;
        });
    }
    ASSERT_TRUE(RunLoop::main().runUntil([&] { return done; }, 60s));
    EXPECT_TRUE(answer.has_value());
}

TEST_F(WhoIsTest, RequestURLIsOnePathSegmentOrNothing) {
    const WhoIs whois("https://geo.example/");
    EXPECT_EQ(whois.url("8.8.8.8"), "https://geo.example/v1/geoip/ip/8.8.8.8/info");
    EXPECT_EQ(whois.url("2001:db8::1"), "https://geo.example/v1/geoip/ip/2001:db8::1/info");
    EXPECT_EQ(whois.url("fe80::1%eth0"), "https://geo.example/v1/geoip/ip/fe80::1%25eth0/info");
    for (const char* address :
         {"", "..", ".", "../../admin", "1.2.3.4?x=1", "1.2.3.4#x", "1.2.3.4 5"}) {
        EXPECT_EQ(whois.url(address), std::nullopt) << address;
    }
    EXPECT_EQ(WhoIs("not a url").url("8.8.8.8"), std::nullopt);
    EXPECT_EQ(WhoIs::defaultService(), "https://" + std::string(WhoIs::serviceHost) + "/");

    // No URL, no request and no waiting: the answer is none, at once.
    bool called = false;
    whois.lookup("1.2.3.4/../x", std::nullopt, [&](std::optional<Response> answer) {
        called = true;
        EXPECT_FALSE(answer.has_value());
    });
    EXPECT_TRUE(called);
}

struct ParseCase {
    const char* name;
    const char* body;
    std::optional<std::string> host;
    std::optional<Response> expected;  // none: the parse throws
    std::optional<WhoIs::Failure> failure = std::nullopt;
};

TEST(WhoIsParse, AnswersAndTheirFailures) {
    const std::string ip = "1.1.1.1";
    const ParseCase cases[] = {
        {"country and city",
         R"({"country": {"isoCode": "ru"}, "city": {"lat": 55.75, "long": 37.62}})", std::nullopt,
         Response{ip, "RU", Coordinates{55.75, 37.62}, false}},
        {"no city", R"({"country": {"isoCode": "DE"}, "other": [1, 2]})", std::nullopt,
         Response{ip, "DE", std::nullopt, false}},
        {"latitude as text", R"({"country": {"isoCode": "DE"}, "city": {"lat": "55", "long": 37}})",
         std::nullopt, Response{ip, "DE", std::nullopt, false}},
        {"city not an object", R"({"country": {"isoCode": "DE"}, "city": "Berlin"})", std::nullopt,
         Response{ip, "DE", std::nullopt, false}},
        {"top-level array", "[]", std::nullopt, std::nullopt, WhoIs::Failure::invalidPayload},
        {"nested past the reader's limit", "[[[[[[[[[[[[[[[[[[[[]]]]]]]]]]]]]]]]]]]]", std::nullopt,
         std::nullopt, WhoIs::Failure::invalidPayload},
        {"country as text", R"({"country": "DE"})", std::nullopt, std::nullopt,
         WhoIs::Failure::invalidCountrySection},
        {"no country", R"({"city": {"lat": 1, "long": 2}})", std::nullopt, std::nullopt,
         WhoIs::Failure::invalidCountrySection},
        {"empty country", R"({"country": {}})", std::nullopt, std::nullopt,
         WhoIs::Failure::missingCountryCode},
        {"empty isoCode", R"({"country": {"isoCode": ""}})", std::nullopt, std::nullopt,
         WhoIs::Failure::missingCountryCode},
        {"numeric isoCode", R"({"country": {"isoCode": 7}})", std::nullopt, std::nullopt,
         WhoIs::Failure::missingCountryCode},
        {"not JSON", "<html>busy</html>", std::nullopt, std::nullopt},
        {"empty body", "", std::nullopt, std::nullopt},
        // The URL's top-level domain overrides a differing country and drops the coordinates.
        {".de host with a path, answer US",
         R"({"country": {"isoCode": "US"}, "city": {"lat": 1, "long": 2}})",
         "https://www.example.de/path/page", Response{ip, "DE", std::nullopt, false}},
        {".de host, answer de", R"({"country": {"isoCode": "de"}, "city": {"lat": 1, "long": 2}})",
         "https://www.example.de/path/page", Response{ip, "DE", Coordinates{1, 2}, false}},
        {".co.uk host", R"({"country": {"isoCode": "US"}})", "www.example.co.uk",
         Response{ip, "GB", std::nullopt, false}},
        {"upper-case host does not match", R"({"country": {"isoCode": "US"}})", "WWW.EXAMPLE.CO.UK",
         Response{ip, "US", std::nullopt, false}},
        {"empty url never matches", R"({"country": {"isoCode": "US"}})", "",
         Response{ip, "US", std::nullopt, false}},
        {"no country-code domain", R"({"country": {"isoCode": "US"}})", "https://example.com/a",
         Response{ip, "US", std::nullopt, false}},
    };
    for (const auto& testCase : cases) {
        SCOPED_TRACE(testCase.name);
        if (testCase.expected) {
            EXPECT_EQ(WhoIs::parse(testCase.body, ip, testCase.host), *testCase.expected);
        } else if (testCase.failure) {
            try {
                WhoIs::parse(testCase.body, ip, testCase.host);
                ADD_FAILURE() << "parsed";
            } catch (const WhoIs::ParseError& error) {
                EXPECT_EQ(error.failure(), *testCase.failure);
            }
        } else {
            EXPECT_ANY_THROW(WhoIs::parse(testCase.body, ip, testCase.host));
        }
    }
}

TEST(WhoIsParse, TopLevelDomainOfTheHostOnly) {
    using Match = std::optional<std::pair<std::string, std::string>>;
    const std::pair<const char*, Match> cases[] = {
        {"mail.ru", Match{{"RU", ".ru"}}},
        {"https://shop.example.ua/x", Match{{"UA", ".ua"}}},
        {"bbc.co.uk", Match{{"GB", ".uk"}}},
        {"www.example.de/path/page", Match{{"DE", ".de"}}},
        {"https://user@x.de:8443/", Match{{"DE", ".de"}}},
        {"https://mail.ru./inbox?q=1", Match{{"RU", ".ru"}}},
        {"example.com", std::nullopt},
        {"example.de.com", std::nullopt},
        {"WWW.EXAMPLE.DE", std::nullopt},
        {"", std::nullopt},
        // File names and folders in a path are no country's domain.
        {"https://example.com/docs/readme.md", std::nullopt},
        {"https://example.com/setup.sh", std::nullopt},
        {"https://example.com/mirror.ru/file", std::nullopt},
        {"https://example.com/?next=a.ru", std::nullopt},
        {"https://[2001:db8::1]:443/x.de", std::nullopt},
    };
    for (const auto& [text, expected] : cases) {
        SCOPED_TRACE(text);
        EXPECT_EQ(WhoIs::countryForTopLevelDomain(text), expected);
    }
}

}  // namespace
}  // namespace tarnwick
