#include "Foundation/Base64.h"
#include "Foundation/DateFormatter.h"
#include "Foundation/JSONReader.h"
#include "Foundation/PropertyList.h"
#include "Foundation/UUID.h"
#include "Foundation/ValueJSON.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <set>
#include <string>
#include <vector>

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
    ASSERT_TRUE(parsed.ok()) << parsed.error();
    EXPECT_EQ(*parsed, original);
    EXPECT_FALSE(PropertyList::parse("<plist><dict><key>x</key>").ok());
    EXPECT_FALSE(PropertyList::parse("").ok());
}

std::string nested(std::size_t depth, const std::string& open, const std::string& inner,
                   const std::string& close) {
    std::string text;
    for (std::size_t i = 0; i < depth; ++i) {
        text += open;
    }
    text += inner;
    for (std::size_t i = 0; i < depth; ++i) {
        text += close;
    }
    return text;
}

std::string xmlPlist(const std::string& body) {
    return R"(<?xml version="1.0" encoding="UTF-8"?><plist version="1.0">)" + body + "</plist>";
}

// A binary property list of the given objects (each its marker and body, with references
// `referenceSize` bytes wide) with object 0 on top.
std::string binaryPlist(const std::vector<std::string>& objects, char referenceSize = 1) {
    std::string bytes = "bplist00";
    std::vector<std::size_t> offsets;
    for (const auto& object : objects) {
        offsets.push_back(bytes.size());
        bytes += object;
    }
    const std::size_t table = bytes.size();
    for (const auto offset : offsets) {
        bytes += static_cast<char>(offset >> 8);
        bytes += static_cast<char>(offset & 0xff);
    }
    bytes += std::string(6, '\0');
    bytes += '\x02';  // offset size
    bytes += referenceSize;
    for (const std::uint64_t number :
         {std::uint64_t{objects.size()}, std::uint64_t{0}, std::uint64_t{table}}) {
        for (int shift = 56; shift >= 0; shift -= 8) {
            bytes += static_cast<char>((number >> shift) & 0xff);
        }
    }
    return bytes;
}

TEST(JSONReader, RefusesNestingPastTheLimitAndSaysWhere) {
    EXPECT_TRUE(JSONReader::parse(nested(512, "[", "1", "]")).ok());
    EXPECT_TRUE(JSONReader::parse(nested(511, R"({"a":)", "[]", "}")).ok());
    for (const auto& deep : {nested(513, "[", "", "]"), nested(20000, R"({"a":)", "1", "}"),
                             nested(20000, "[", "", "")}) {
        const auto refused = JSONReader::parse(deep);
        ASSERT_FALSE(refused.ok());
        EXPECT_EQ(refused.error(), "arrays and objects nested deeper than 512 levels");
    }
    const auto syntax = JSONReader::parse("[1,");
    ASSERT_FALSE(syntax.ok());
    EXPECT_EQ(syntax.error().rfind("parse error at line 1, column 4", 0), 0u) << syntax.error();

    // A document that did not come through the reader is still read without deep recursion.
    nlohmann::json deep = nlohmann::json::array();
    for (int i = 0; i < 600; ++i) {
        deep = nlohmann::json::array({std::move(deep)});
    }
    const Value value = valueFromJson(deep);
    const Value* level = &value;
    std::size_t depth = 0;
    while (level->asArray() != nullptr && !level->asArray()->empty()) {
        level = &level->asArray()->front();
        ++depth;
    }
    EXPECT_EQ(depth, Value::kMaximumDepth);
    EXPECT_TRUE(level->isNull());
}

// Each of these ended the process inside libplist or in our own recursion.
TEST(PropertyList, RefusesWhatWouldEndTheProcess) {
    // UTF-16 strings (marker 0x6n) carry their length; ASCII ones (0x5n) too.
    const std::string utf16Key("\0b\0\0\0a", 6);  // "b", NUL, "a" in UTF-16BE
    struct Row {
        const char* name;
        std::string bytes;
        const char* reason;
    };
    const Row rows[] = {
        {"NUL in an XML key", xmlPlist(std::string("<dict><key>a\0b</key><true/></dict>", 34)),
         "a NUL character in the document"},
        {"NUL in an XML string", xmlPlist(std::string("<string>a\0b</string>", 20)),
         "a NUL character in the document"},
        {"NUL in a binary UTF-16 key", binaryPlist({"\xD1\x01\x02", "\x63" + utf16Key, "\x09"}),
         "a string or key holds a NUL character"},
        {"NUL in a binary UTF-16 string", binaryPlist({"\xA1\x01", "\x63" + utf16Key}),
         "a string or key holds a NUL character"},
        {"NUL in a binary ASCII string", binaryPlist({"\xA1\x01", std::string("\x53x\0y", 4)}),
         "a string or key holds a NUL character"},
        {"XML arrays too deep", xmlPlist(nested(513, "<array>", "", "</array>")),
         "arrays and dictionaries nested deeper than 512 levels"},
        {"XML arrays too deep, never closed", xmlPlist(nested(20000, "<array>", "", "")),
         "arrays and dictionaries nested deeper than 512 levels"},
        {"XML closings hidden in a comment",
         xmlPlist(nested(600, "<array><!-- </array> -->", "", "</array>")),
         "arrays and dictionaries nested deeper than 512 levels"},
        {"XML closings hidden in an attribute",
         xmlPlist(nested(600, R"(<dict a="</dict>"><key>k</key>)", "<true/>", "</dict>")),
         "arrays and dictionaries nested deeper than 512 levels"},
        {"XML closings hidden in a string",
         xmlPlist(nested(600, "<array><string><![CDATA[</array>]]></string>", "", "</array>")),
         "arrays and dictionaries nested deeper than 512 levels"},
        {"binary object that contains itself", binaryPlist({std::string("\xA1\x00", 2)}),
         "an object that contains itself"},
        {"binary reference to nothing", binaryPlist({"\xA1\x05"}),
         "a reference to an object that does not exist"},
        {"binary string cut short", binaryPlist({"\xA1\x01", "\x5Fx"}),
         "object 1 has a malformed length"},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        const auto parsed = PropertyList::parse(row.bytes);
        ASSERT_FALSE(parsed.ok());
        EXPECT_EQ(parsed.error(), row.reason);
    }

    // Arrays nested deeper than the limit, and 40 levels that each refer to the next twice, which
    // libplist would expand into 2^40 objects.
    std::vector<std::string> deep;
    for (int i = 1; i <= 600; ++i) {
        deep.push_back(
            i < 600 ? std::string{'\xA1', static_cast<char>(i >> 8), static_cast<char>(i & 0xff)}
                    : "\xA0");
    }
    const auto tooDeep = PropertyList::parse(binaryPlist(deep, 2));
    ASSERT_FALSE(tooDeep.ok());
    EXPECT_EQ(tooDeep.error(), "arrays and dictionaries nested deeper than 512 levels");
    std::vector<std::string> shared;
    for (int i = 1; i <= 40; ++i) {
        shared.push_back(i < 40 ? std::string{'\xA2', static_cast<char>(i), static_cast<char>(i)}
                                : "\xA0");
    }
    const auto expanded = PropertyList::parse(binaryPlist(shared));
    ASSERT_FALSE(expanded.ok());
    EXPECT_EQ(expanded.error(),
              "more than 1048576 objects once shared ones are counted each time they are used");
}

TEST(PropertyList, ReadsWhatRealDocumentsHoldAtTheLimits) {
    const auto deepest =
        PropertyList::parse(xmlPlist(nested(512, "<array>", "<true/>", "</array>")));
    ASSERT_TRUE(deepest.ok()) << deepest.error();
    // Empty containers, comments and declarations do not count as nesting.
    std::string wide =
        R"(<!DOCTYPE plist PUBLIC "-//Apple//DTD PLIST 1.0//EN" "x.dtd"><plist><array>)";
    for (int i = 0; i < 1000; ++i) {
        wide += "<array/><dict /><!-- </dict> --><array><string>x</string></array>";
    }
    wide += "</array></plist>";
    const auto parsed = PropertyList::parse(wide);
    ASSERT_TRUE(parsed.ok()) << parsed.error();
    EXPECT_EQ(parsed->asArray()->size(), 3000u);
    // A binary document whose objects are shared, as writers share repeated keys and values.
    const auto binary = PropertyList::parse(
        binaryPlist({"\xA3\x01\x01\x02", "\xD1\x03\x04", "\xA0", "\x51k", "\x10\x07"}));
    ASSERT_TRUE(binary.ok()) << binary.error();
    const Value member(Value::Dictionary{{"k", Value(std::int64_t{7})}});
    EXPECT_EQ(*binary, Value(Value::Array{member, member, Value(Value::Array{})}));
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
