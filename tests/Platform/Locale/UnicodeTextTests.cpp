#include "Locale/UnicodeText.h"

#include <gtest/gtest.h>

#include <string>
#include <utility>

namespace tarnwick {
namespace {

TEST(UnicodeText, CanonicalComposition) {
    EXPECT_EQ(UnicodeText::canonicallyComposed("Cafe\u0301"), "Caf\u00E9");
    EXPECT_EQ(UnicodeText::canonicallyComposed("A\u030Aland"), "\u00C5land");
    EXPECT_TRUE(UnicodeText::canonicallyEquivalent("Cafe\u0301", "Caf\u00E9"));
    EXPECT_FALSE(UnicodeText::canonicallyEquivalent("Cafe", "cafe"));
    // Compatibility forms are not canonical ones.
    EXPECT_FALSE(UnicodeText::canonicallyEquivalent("\uFB01", "fi"));
}

TEST(UnicodeText, DiacriticsComeOffTheirLetters) {
    const std::pair<std::string, std::string> rows[] = {
        {"\u00C5land", "Aland"},   // precomposed
        {"A\u030Aland", "Aland"},  // already decomposed
        {"Cura\u00E7ao R\u00E9union", "Curacao Reunion"},
        {"S\u00F8r", "S\u00F8r"},  // no decomposition: the letter stays
        {"\u0301x", "x"},          // a mark with no letter before it
        {"\xC3", "\uFFFD"},        // broken UTF-8 is replaced, never a failure
    };
    for (const auto& [text, expected] : rows) {
        SCOPED_TRACE(text);
        EXPECT_EQ(UnicodeText::withoutDiacritics(text), expected);
    }
}

TEST(UnicodeText, GraphemeClusters) {
    struct Row {
        const char* text;
        std::vector<std::string> clusters;
    };
    const Row rows[] = {
        {"", {}},
        {"ab", {"a", "b"}},
        {"\U0001F1F7\U0001F1FA\U0001F1E7\U0001F1FE",
         {"\U0001F1F7\U0001F1FA", "\U0001F1E7\U0001F1FE"}},
        {"👨‍👩‍👧!", {"👨‍👩‍👧", "!"}},
        {"e\u0301x", {"e\u0301", "x"}},
        {"\r\n", {"\r\n"}},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.text);
        EXPECT_EQ(UnicodeText::graphemeClusters(row.text), row.clusters);
    }
    // Bytes that are not UTF-8 are kept, not lost.
    std::string joined;
    for (const auto& cluster : UnicodeText::graphemeClusters("a\xff\xfe"
                                                             "b")) {
        joined += cluster;
    }
    EXPECT_EQ(joined,
              "a\xff\xfe"
              "b");
}

TEST(UnicodeText, ScalarsAndEmojiProperty) {
    EXPECT_EQ(UnicodeText::scalars("aé😀"), (std::u32string{U'a', U'é', U'😀'}));
    EXPECT_EQ(UnicodeText::scalars("\xff"), std::u32string{U'\uFFFD'});
    EXPECT_TRUE(UnicodeText::hasEmojiProperty(U'😀'));
    EXPECT_TRUE(UnicodeText::hasEmojiProperty(U'1'));
    EXPECT_FALSE(UnicodeText::hasEmojiProperty(U'a'));
    EXPECT_FALSE(UnicodeText::hasEmojiProperty(U'\uFFFD'));
}

}  // namespace
}  // namespace tarnwick
