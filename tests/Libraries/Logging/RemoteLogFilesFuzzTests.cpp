#include "fuzz/FuzzEntries.h"

#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

namespace tarnwick {
namespace {

// Runs the fuzzing entry over seeds and cheap mutations of them, so the entry keeps building and
// the hostile shapes it guards against stay covered by every test run.
TEST(RemoteLogFilesFuzz, SurvivesSeedsAndTheirMutations) {
    std::vector<std::string> seeds = {
        "",
        "\n\n\n",
        "{\"message\":\"m\",\"level\":2}\n{\"a\":}\n{}\n[1]\n{broken",
        R"({"uuid":"U","firstStart":1,"lastStart":"x","starts":18446744073709551615,"userName":7})",
        R"({"starts":9223372036854775807,"firstAppBuild":-9223372036854775808})",
        "{\"message\":\"\xff\xfe\"}",
        "{\"x\":\"\\ud800\"}",
        std::string(70000, '{'),
        "{" + std::string(64, '[') + std::string(64, ']') + "}",
        "{\"a\":" + std::string(65, '[') + std::string(65, ']') + "}",
        "{\"s\":\"" + std::string(5000, '[') + "\"}",
    };
    std::mt19937 random(20261210);
    const std::size_t seedCount = seeds.size();
    for (std::size_t i = 0; i < 3000; ++i) {
        std::string input = seeds[random() % seedCount];
        const std::size_t edits = 1 + random() % 8;
        for (std::size_t e = 0; e < edits && !input.empty(); ++e) {
            const std::size_t at = random() % input.size();
            switch (random() % 3) {
                case 0:
                    input[at] = static_cast<char>(random());
                    break;
                case 1:
                    input.erase(at, 1 + random() % 4);
                    break;
                default:
                    input.insert(at, 1, "{}[]\"\\:,\n0"[random() % 11]);
                    break;
            }
        }
        seeds.push_back(std::move(input));
    }
    for (const auto& input : seeds) {
        EXPECT_EQ(fuzz::fuzzRemoteLogFiles(reinterpret_cast<const std::uint8_t*>(input.data()),
                                           input.size()),
                  0);
    }
}

}  // namespace
}  // namespace tarnwick
