#include "FeedbackForm/KVBHelpDeskAnswer.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <string>

int fuzzHelpDeskAnswer(const std::uint8_t* data, std::size_t size);
int fuzzJournalOutput(const std::uint8_t* data, std::size_t size);

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

// Runs the fuzz entries over a few seeds, so they build and stay crash-free between fuzzing runs.
TEST(KVBHelpDeskAnswer, FuzzEntriesSurviveTheirSeeds) {
    const std::string seeds[] = {
        "",
        R"({"upload":{"token":"abc"}})",
        std::string(5000, '{'),
        "\xff\xfe\x00garbage",
        R"({"__REALTIME_TIMESTAMP":"1700000000000000","MESSAGE":[104,105,255]})"
        "\n{",
        R"({"__REALTIME_TIMESTAMP":"99999999999999999999","MESSAGE":"x"})",
        R"({"a":{"b":[1,true,null,"c d"]}})",
    };
    for (const auto& seed : seeds) {
        const auto* bytes = reinterpret_cast<const std::uint8_t*>(seed.data());
        EXPECT_EQ(fuzzHelpDeskAnswer(bytes, seed.size()), 0);
        EXPECT_EQ(fuzzJournalOutput(bytes, seed.size()), 0);
    }
}

}  // namespace
}  // namespace tarnwick
