#include "FeedbackForm/KVBHelpDeskAnswer.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <string>

namespace tarnwick {
namespace {

TEST(KVBHelpDeskAnswer, TokenComesFromTheUploadObjectOnly) {
    EXPECT_EQ(KVBHelpDeskAnswer::uploadToken(R"({"upload":{"token":"abc","attachments":[]}})"),
              "abc");
    EXPECT_EQ(KVBHelpDeskAnswer::uploadToken(R"({"token":"abc"})"), std::nullopt);
    EXPECT_EQ(KVBHelpDeskAnswer::uploadToken(R"({"upload":"abc"})"), std::nullopt);
    EXPECT_EQ(KVBHelpDeskAnswer::uploadToken(R"({"upload":{"token":null}})"), std::nullopt);
}

TEST(KVBHelpDeskAnswer, HostileAnswersGiveNoToken) {
    const std::string deep = std::string(100'000, '[') + std::string(100'000, ']');
    EXPECT_EQ(KVBHelpDeskAnswer::uploadToken(deep), std::nullopt);
    const std::string huge =
        R"({"upload":{"token":")" + std::string(KVBHelpDeskAnswer::maximumSize, 'a') + "\"}}";
    EXPECT_EQ(KVBHelpDeskAnswer::uploadToken(huge), std::nullopt);
    // Brackets inside strings are text, not nesting.
    const std::string bracketsInText = R"({"upload":{"token":")" + std::string(100, '[') + "\"}}";
    EXPECT_EQ(KVBHelpDeskAnswer::uploadToken(bracketsInText), std::string(100, '['));
}

}  // namespace
}  // namespace tarnwick
