#include "FeedbackForm/KVBExtensions.h"

#include <gtest/gtest.h>

namespace tarnwick {
namespace {

TEST(KVBExtensions, EmailCheckMatchesTheWholeText) {
    struct Case {
        const char* text;
        bool valid;
    };
    const Case cases[] = {
        {"ada@example.org", true},
        {"a.b_c%d+e-f@mail.example.co.uk", true},
        {"x@a-b.cd", true},
        {"ada@example.c", false},     // final part of one letter
        {"ada@localhost", false},     // no dot after the at sign
        {"@example.org", false},      // empty local part
        {"ada@@example.org", false},  // a second at sign
        {"ada@.example.org", false},  // empty label
        {"ada@example..org", false},
        {"ada@example.org2", false},  // digits in the final part
        {"ada@example.org ", false},  // trailing space: the whole text must match
        {"adä@example.org", false},   // non-ASCII local part
        {"", false},
    };
    for (const auto& testCase : cases) {
        SCOPED_TRACE(testCase.text);
        EXPECT_EQ(kvbIsValidEmail(testCase.text), testCase.valid);
    }
    EXPECT_TRUE(kvbIsValidEmail("a@b." + std::string(64, 'z')));
    EXPECT_FALSE(kvbIsValidEmail("a@b." + std::string(65, 'z')));
}

TEST(KVBExtensions, PercentEncodingKeepsOnlyUnreservedCharacters) {
    EXPECT_EQ(kvbPercentEncoded("Report-1_v2.~txt"), "Report-1_v2.~txt");
    EXPECT_EQ(kvbPercentEncoded("a&b=c+d e#f?g/h%"), "a%26b%3Dc%2Bd%20e%23f%3Fg%2Fh%25");
    EXPECT_EQ(kvbPercentEncoded("Снимок.png"), "%D0%A1%D0%BD%D0%B8%D0%BC%D0%BE%D0%BA.png");
}

TEST(KVBExtensions, TrimmingRemovesSpacesAndLineBreaksAtBothEnds) {
    EXPECT_EQ(kvbTrimmed(" \n\t text  with inner \r\n"), "text  with inner");
    EXPECT_EQ(kvbTrimmed(" \n "), "");
}

}  // namespace
}  // namespace tarnwick
