#include "Tools/StringUtilities.h"

#include <gtest/gtest.h>

namespace tarnwick {
namespace {

TEST(StringUtilities, EmojiOnlyGoesByTheEmojiPropertyOfEveryScalar) {
    struct Row {
        const char* text;
        bool emojiOnly;
    };
    for (const auto& row :
         {Row{"", true}, Row{"😀", true}, Row{"😀😀", true},
          Row{"\U0001F1F7\U0001F1FA", true},  // a flag
          Row{"7", true}, Row{"#", true},     // digits have the property
          Row{"a😀", false}, Row{"😀 ", false}, Row{"ru", false}, Row{"\xff", false}}) {
        SCOPED_TRACE(row.text);
        EXPECT_EQ(isEmojiOnly(row.text), row.emojiOnly);
    }
}

TEST(StringUtilities, LevenshteinDistanceCountsCharacters) {
    struct Row {
        const char* first;
        const char* second;
        std::size_t distance;
    };
    for (const auto& row : {
             Row{"flaw", "lawn", 2},
             Row{"", "abc", 3},
             Row{"abc", "", 3},
             Row{"abc", "abc", 0},
             Row{"kitten", "sitting", 3},
             // One flag, one family and one accented letter are one character each.
             Row{"\U0001F1F7\U0001F1FA", "\U0001F1E7\U0001F1FE", 1},
             Row{"👨‍👩‍👧x", "x", 1},
             Row{"cafe\u0301", "caf\u00E9", 0},
             Row{"Россия", "Росия", 1},
         }) {
        SCOPED_TRACE(std::string(row.first) + " / " + row.second);
        EXPECT_EQ(levenshteinDistance(row.first, row.second), row.distance);
        EXPECT_EQ(levenshteinDistance(row.second, row.first), row.distance);
    }
}

}  // namespace
}  // namespace tarnwick
