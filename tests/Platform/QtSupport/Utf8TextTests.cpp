#include "QtSupport/Utf8Text.h"

#include <gtest/gtest.h>

#include <string>
#include <string_view>

namespace tarnwick {
namespace {

TEST(Utf8Text, KeepsEveryCharacterAndReadsAViewOnlyToItsLength) {
    struct Case {
        const char* name;
        std::string_view utf8;
        QString expected;
    };
    // The view cut from a longer text is what a NUL-terminated read gets wrong.
    static const std::string longer = "Settings placeholder";
    const Case cases[] = {
        {"dash, ellipsis and a flag", "— Made in Ukraine… 🇺🇦",
         QStringLiteral("— Made in Ukraine… 🇺🇦")},
        {"a view that does not end in a NUL", std::string_view(longer).substr(0, 8),
         QStringLiteral("Settings")},
        {"an embedded NUL is kept", std::string_view("a\0b", 3), QString::fromUtf16(u"a\0b", 3)},
        {"empty", std::string_view(), QString()},
    };
    for (const auto& testCase : cases) {
        SCOPED_TRACE(testCase.name);
        const QString text = qtext(testCase.utf8);
        EXPECT_EQ(text, testCase.expected);
        EXPECT_EQ(text.toStdString(), std::string(testCase.utf8));  // and back, unchanged
    }
}

}  // namespace
}  // namespace tarnwick
