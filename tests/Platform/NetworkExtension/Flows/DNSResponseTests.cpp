#include "NetworkExtension/Flows/DNSResponse.h"
#include "NetworkExtension/Flows/HostNameTable.h"

#include <gtest/gtest.h>

#include <vector>

using namespace std::chrono_literals;

namespace tarnwick {
namespace {

using Bytes = std::vector<std::uint8_t>;

// An answer as a CDN gives it, on the wire: "www.example.test" is a CNAME for "edge.cdn.test",
// which has two addresses; a fourth record about another name rides along. Names are compressed.
const Bytes kCdnAnswer = {
    0x12, 0x34, 0x81, 0x80, 0x00, 0x01, 0x00, 0x04, 0x00, 0x00, 0x00, 0x00,  // header
    0x03, 'w',  'w',  'w',  0x07, 'e',  'x',  'a',  'm',  'p',  'l',  'e',  0x04, 'T',
    'E',  'S',  'T',  0x00, 0x00, 0x01, 0x00, 0x01,                          // question: A, IN
    0xc0, 0x0c, 0x00, 0x05, 0x00, 0x01, 0x00, 0x00, 0x0e, 0x10, 0x00, 0x0b,  // CNAME
    0x04, 'e',  'd',  'g',  'e',  0x03, 'c',  'd',  'n',  0xc0, 0x18, 0xc0, 0x2e, 0x00,
    0x01, 0x00, 0x01, 0x00, 0x00, 0x00, 0x3c, 0x00, 0x04, 192,  0,    2,    10,   0xc0,
    0x2e, 0x00, 0x01, 0x00, 0x01, 0x00, 0x00, 0x00, 0x3c, 0x00, 0x04, 192,  0,    2,
    11,   0x05, 'o',  't',  'h',  'e',  'r',  0xc0, 0x18,  // other.test: not asked for
    0x00, 0x01, 0x00, 0x01, 0x00, 0x00, 0x00, 0x3c, 0x00, 0x04, 198,  51,   100,  1,
};

// "v6.test" AAAA 2001:db8::1.
const Bytes kIPv6Answer = {
    0xab, 0xcd, 0x81, 0x80, 0x00, 0x01, 0x00, 0x01, 0x00, 0x00, 0x00, 0x00, 0x02, 'v',
    '6',  0x04, 't',  'e',  's',  't',  0x00, 0x00, 0x1c, 0x00, 0x01, 0xc0, 0x0c, 0x00,
    0x1c, 0x00, 0x01, 0x00, 0x00, 0x01, 0x2c, 0x00, 0x10, 0x20, 0x01, 0x0d, 0xb8, 0,
    0,    0,    0,    0,    0,    0,    0,    0,    0,    0,    1,
};

TEST(DNSResponse, AddressesAreThoseOfTheNameAskedFollowingCnames) {
    const auto response = DNSResponse::parse(kCdnAnswer);
    ASSERT_TRUE(response);
    EXPECT_EQ(response->questionName, "www.example.test");
    ASSERT_EQ(response->addresses.size(), 2u);
    EXPECT_EQ(response->addresses[0].address, "192.0.2.10");
    EXPECT_EQ(response->addresses[1].address, "192.0.2.11");
    EXPECT_EQ(response->addresses[0].timeToLive, 60u);

    const auto v6 = DNSResponse::parse(kIPv6Answer);
    ASSERT_TRUE(v6);
    EXPECT_EQ(v6->questionName, "v6.test");
    ASSERT_EQ(v6->addresses.size(), 1u);
    EXPECT_EQ(v6->addresses[0].address, "2001:db8::1");
}

TEST(DNSResponse, MalformedOrUnsuccessfulMessagesDoNotParse) {
    struct Row {
        const char* name;
        Bytes bytes;
    };
    auto changed = [](Bytes bytes, std::size_t offset, std::uint8_t value) {
        bytes[offset] = value;
        return bytes;
    };
    std::vector<Row> rows = {
        {"a question, not an answer", changed(kCdnAnswer, 2, 0x01)},
        {"no such name", changed(kCdnAnswer, 3, 0x83)},
        {"two questions", changed(kCdnAnswer, 5, 0x02)},
        {"more answers counted than sent", changed(kCdnAnswer, 7, 0x05)},
        {"pointer to itself", changed(changed(kCdnAnswer, 34, 0xc0), 35, 0x22)},
        {"pointer forward", changed(kCdnAnswer, 35, 0x40)},
        {"header only", Bytes(kCdnAnswer.begin(), kCdnAnswer.begin() + 12)},
        {"empty", {}},
    };
    for (std::size_t cut : {20u, 40u, 70u}) {
        rows.push_back({"cut short", Bytes(kCdnAnswer.begin(), kCdnAnswer.begin() + cut)});
    }
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        EXPECT_FALSE(DNSResponse::parse(row.bytes));
    }
}

TEST(DNSResponse, TakesABoundedNumberOfAddressesFromOneAnswer) {
    // "v6.test" answered with 4,000 AAAA records, as a hostile resolver could send.
    Bytes answer(kIPv6Answer.begin(), kIPv6Answer.begin() + 25);
    const std::size_t records = 4000;
    answer[6] = records >> 8;
    answer[7] = records & 0xff;
    for (std::size_t i = 0; i < records; ++i) {
        answer.insert(answer.end(), kIPv6Answer.begin() + 25, kIPv6Answer.end() - 2);
        answer.push_back(static_cast<std::uint8_t>(i >> 8));
        answer.push_back(static_cast<std::uint8_t>(i & 0xff));
    }
    const auto response = DNSResponse::parse(answer);
    ASSERT_TRUE(response);
    ASSERT_EQ(response->addresses.size(), DNSResponse::kMaximumAddresses);
    EXPECT_EQ(response->addresses.front().address, "2001:db8::");
    EXPECT_EQ(response->addresses.back().address, "2001:db8::1f");
}

TEST(HostNameTable, RemembersTheLatestNameForAWhileAndForgetsTheOldest) {
    const auto now = HostNameTable::Clock::now();
    HostNameTable table(2, 10min, 1h);
    table.record("192.0.2.10", "a.test", 30, now);
    table.record("192.0.2.10", "b.test", 30, now);
    EXPECT_EQ(table.lookup("192.0.2.10", now + 9min), "b.test") << "short TTLs last the minimum";
    EXPECT_EQ(table.lookup("192.0.2.10", now + 11min), std::nullopt);
    table.record("192.0.2.11", "c.test", 30, now);
    table.record("192.0.2.12", "d.test", 30, now);
    EXPECT_EQ(table.lookup("192.0.2.10", now), std::nullopt) << "the oldest made room";
    EXPECT_EQ(table.lookup("192.0.2.12", now), "d.test");
}

}  // namespace
}  // namespace tarnwick
