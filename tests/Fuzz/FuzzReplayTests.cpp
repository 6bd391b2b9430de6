#include "fuzz/FuzzEntries.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <ostream>
#include <string>

namespace tarnwick::fuzz {

// Names the target in test listings instead of dumping its bytes.
void PrintTo(const FuzzTarget& target, std::ostream* stream) {
    *stream << target.name;
}

namespace {

// Every input that once ended a process (fuzz/crashes/<target>/) and every seed
// (fuzz/corpus/<target>/) runs through the same entry as the fuzz target. A regression ends this
// test's process with the sanitizer's report, as it ended the fuzzer's.
class FuzzReplay : public ::testing::TestWithParam<FuzzTarget> {};

TEST_P(FuzzReplay, SavedCrashesAndSeedsRunCleanly) {
    const FuzzTarget target = GetParam();
    for (const char* folder : {"crashes", "corpus"}) {
        const auto directory = std::filesystem::path(TARNWICK_FUZZ_DIR) / folder / target.name;
        if (!std::filesystem::exists(directory)) {
            continue;
        }
        for (const auto& entry : std::filesystem::directory_iterator(directory)) {
            SCOPED_TRACE(entry.path().string());
            std::ifstream file(entry.path(), std::ios::binary);
            const std::string bytes{std::istreambuf_iterator<char>(file),
                                    std::istreambuf_iterator<char>()};
            EXPECT_EQ(
                target.entry(reinterpret_cast<const std::uint8_t*>(bytes.data()), bytes.size()), 0);
        }
    }
}

INSTANTIATE_TEST_SUITE_P(Targets, FuzzReplay, ::testing::ValuesIn(kFuzzTargets),
                         [](const auto& target) { return std::string(target.param.name); });

}  // namespace
}  // namespace tarnwick::fuzz
