#include "Dispatch/RunLoop.h"
#include "GeoIPTestServer.h"
#include "Tools/DNSResolver.h"
#include "Tools/DomainInfoProvider.h"
#include "Tools/ReverseDomainsCache.h"
#include "Tools/WhoisCache.h"

#include <gtest/gtest.h>

#include <chrono>
#include <optional>
#include <string>
#include <thread>

using namespace std::chrono_literals;

namespace tarnwick {
namespace {

// The real resolver is asked only for numeric names and "localhost", which need no name server.
class DomainInfoProviderTest : public ::testing::Test {
protected:
    void SetUp() override { WhoisCache::shared().removeAllForTesting(); }
    void TearDown() override { WhoisCache::shared().removeAllForTesting(); }

    std::optional<DomainInfo> infoFor(const std::string& host) {
        bool done = false;
        std::optional<DomainInfo> info;
        m_provider.domainInfo(host, [&](std::optional<DomainInfo> result) {
            info = std::move(result);
            done = true;
        });
        EXPECT_TRUE(RunLoop::main().runUntil([&] { return done; }, 60s));
        return info;
    }

    testing::GeoIPTestServer m_server;
    DomainInfoProvider m_provider{m_server.service()};
};

TEST(DNSResolver, ResolvesNumericNamesToThemselvesAndUnknownNamesToNothing) {
    const DNSResolver resolver;
    EXPECT_EQ(resolver.resolve("8.8.4.4"), "8.8.4.4");
    EXPECT_EQ(resolver.resolve("2001:db8::1"), "2001:db8::1");
    EXPECT_EQ(resolver.resolve("::1"), "::1");
    const auto localhost = resolver.resolve("localhost");
    ASSERT_TRUE(localhost.has_value());
    EXPECT_TRUE(*localhost == "127.0.0.1" || *localhost == "::1") << *localhost;
    EXPECT_EQ(resolver.resolve(""), std::nullopt);
    EXPECT_EQ(resolver.resolve(std::string("8.8.4.4\0.evil", 13)), std::nullopt);
    // Names that need a name server go through a stand-in: tests ask none.
    const DNSResolver offline([](const std::string&) { return std::nullopt; });
    EXPECT_EQ(offline.resolve("shop.example"), std::nullopt);
}

TEST_F(DomainInfoProviderTest, UnresolvableHostGivesNothingAtOnceWithoutRequest) {
    const DomainInfoProvider provider(m_server.service(),
                                      DNSResolver([](const std::string&) { return std::nullopt; }));
    bool called = false;
    provider.domainInfo("shop.example", [&](std::optional<DomainInfo> info) {
        called = true;
        EXPECT_FALSE(info.has_value());
    });
    EXPECT_TRUE(called);
    EXPECT_TRUE(m_server.asked().empty());
}

TEST_F(DomainInfoProviderTest, ResolvedAddressIsLookedUpWithoutTopLevelDomainOverride) {
    m_server.setAnswer("8.8.4.4", R"({"country": {"isoCode": "us"}})");
    m_server.setAnswer("2001:db8::1", R"({"country": {"isoCode": "nl"}})");
    EXPECT_EQ(infoFor("8.8.4.4"), (DomainInfo{"8.8.4.4", "8.8.4.4", "US"}));
    EXPECT_EQ(infoFor("2001:db8::1"), (DomainInfo{"2001:db8::1", "2001:db8::1", "NL"}));
}

TEST_F(DomainInfoProviderTest, LocalHostIsLocalWithoutRequest) {
    const auto info = infoFor("localhost");
    ASSERT_TRUE(info.has_value());
    EXPECT_EQ(info->domain, "localhost");
    EXPECT_EQ(info->country, "local");
    EXPECT_TRUE(m_server.asked().empty());
}

TEST_F(DomainInfoProviderTest, HostsResolvingToOneAddressAskTheServiceOnce) {
    // "134744072" is 8.8.8.8 written as one number, which the resolver accepts.
    EXPECT_EQ(infoFor("8.8.8.8"), (DomainInfo{"8.8.8.8", "8.8.8.8", "US"}));
    EXPECT_EQ(infoFor("134744072"), (DomainInfo{"134744072", "8.8.8.8", "US"}));
    EXPECT_EQ(m_server.asked().size(), 1u);
}

TEST_F(DomainInfoProviderTest, FailedLookupGivesNothing) {
    m_server.setAnswer("8.8.4.4", "not json");
    EXPECT_EQ(infoFor("8.8.4.4"), std::nullopt);
}

TEST_F(DomainInfoProviderTest, OffersItsOwnSerialQueue) {
    const auto& queue = m_provider.internalQueue();
    ASSERT_TRUE(queue);
    EXPECT_TRUE(queue->isSerial());
    EXPECT_EQ(queue->qos(), QualityOfService::unspecified);
    EXPECT_TRUE(queue->label().ends_with("domain-info")) << queue->label();
}

TEST(ReverseDomainsCache, KeepsTheLatestNameOfEachAddressAcrossThreads) {
    auto& cache = ReverseDomainsCache::shared();
    cache.removeAllForTesting();
    EXPECT_EQ(cache.hostName("1.2.3.4"), std::nullopt);
    std::thread([&] { cache.setHostName("one.example", "1.2.3.4"); }).join();
    cache.setHostName("two.example", "1.2.3.4");
    EXPECT_EQ(cache.hostName("1.2.3.4"), "two.example");
    cache.removeAllForTesting();
}

}  // namespace
}  // namespace tarnwick
