#include "Foundation/Base64.h"
#include "Foundation/DateFormatter.h"
#include "Foundation/PropertyList.h"
#include "Foundation/UUID.h"

#include <gtest/gtest.h>

#include <set>

namespace tarnwick {
namespace {

TEST(Base64, EncodesAndDecodesThePaddingCases) {
    const std::pair<std::string, std::string> cases[] = {
        {"", ""}, {"f", "Zg=="}, {"fo", "Zm8="}, {"foo", "Zm9v"}, {"foob", "Zm9vYg=="}};
    for (const auto& [plain, encoded] : cases) {
        SCOPED_TRACE(plain);
        EXPECT_EQ(base64Encode(plain), encoded);
        const auto decoded = base64Decode(encoded);
        ASSERT_TRUE(decoded.has_value());
        EXPECT_EQ(std::string(decoded->begin(), decoded->end()), plain);
    }
    for (const char* bad : {"Zg=", "Z===", "Zm9v!A==", "=Zm9"}) {
        SCOPED_TRACE(bad);
        EXPECT_EQ(base64Decode(bad), std::nullopt);
    }
}

TEST(PropertyList, XmlRoundTripKeepsTypes) {
    const Value original(Value::Dictionary{
        {"flag", Value(true)},
        {"count", Value(std::int64_t{7})},
        {"name", Value("x & <y>")},
        {"data", Value(Value::Data{1, 2, 3})},
        {"list", Value(Value::Array{Value("a"), Value(2.5)})},
    });
    const auto parsed = PropertyList::parse(PropertyList::toXml(original));
    ASSERT_TRUE(parsed.has_value());
    EXPECT_EQ(*parsed, original);
    EXPECT_EQ(PropertyList::parse("<plist><dict><key>x</key>"), std::nullopt);
    EXPECT_EQ(PropertyList::parse(""), std::nullopt);
}

TEST(UUID, IsCanonicalUpperCaseTextAndFresh) {
    std::set<std::string> seen;
    for (int i = 0; i < 100; ++i) {
        const auto text = UUID::random().uuidString();
        ASSERT_EQ(text.size(), 36u);
        EXPECT_EQ(text.find_first_not_of("0123456789ABCDEF-"), std::string::npos);
        EXPECT_EQ(text[14], '4');
        EXPECT_TRUE(seen.insert(text).second);
        EXPECT_EQ(UUID::parse(text)->uuidString(), text);
    }
    EXPECT_EQ(UUID::parse("not-a-uuid"), std::nullopt);
}

TEST(DateFormatter, FormatsPatternsInTheChosenZone) {
    using namespace std::chrono;
    const auto moment = sys_days{2026y / January / 2} + 3h + 4min + 5s + 678ms;
    DateFormatter formatter;
    formatter.setDateFormat("yyyy-MM-dd HH:mm:ss.SSS");
    formatter.setTimeZone("UTC");
    EXPECT_EQ(formatter.string(moment), "2026-01-02 03:04:05.678");
    formatter.setTimeZone("Asia/Tokyo");
    EXPECT_EQ(formatter.string(moment), "2026-01-02 12:04:05.678");
    formatter.setDateFormat("HH:mm");
    EXPECT_EQ(formatter.string(moment), "12:04");
}

}  // namespace
}  // namespace tarnwick
