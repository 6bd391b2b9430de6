#include "NetworkExtension/Provider/BundleInfoLookup.h"
#include "NetworkExtension/Provider/ProcessCodeIdentity.h"
#include "support/TemporaryDirectory.h"

#include <gtest/gtest.h>

#include <atomic>
#include <filesystem>
#include <functional>
#include <future>
#include <optional>
#include <string>
#include <thread>

using namespace std::chrono_literals;

namespace tarnwick {
namespace {

BundleInfoLookup::Executable executable(std::uint64_t inode, std::int64_t modified = 1) {
    return {1, inode, modified, 0, "/home/u/X.app/Contents/MacOS/x"};
}

Value::Dictionary info(const std::string& identifier) {
    return {{"CFBundleIdentifier", Value(identifier)}};
}

TEST(BundleInfoLookup, ReadsEachExecutableFileOnceAndAgainWhenItChanges) {
    std::atomic<int> reads = 0;
    BundleInfoLookup lookup(
        [&](const std::filesystem::path&) -> std::optional<Value::Dictionary> {
            ++reads;
            return info("com.example.x");
        },
        5s);
    for (int i = 0; i < 3; ++i) {
        const auto answer = lookup.info(executable(7));
        ASSERT_TRUE(answer);
        EXPECT_EQ(*answer, info("com.example.x"));
    }
    EXPECT_EQ(reads, 1);
    ASSERT_TRUE(lookup.info(executable(7, 2)));
    ASSERT_TRUE(lookup.info(executable(8)));
    EXPECT_EQ(reads, 3) << "a new modification time or inode is a new executable";
}

TEST(BundleInfoLookup, AReaderThatHangsCostsTheCallerOneTimeLimitAndBlocksNoOneElse) {
    std::promise<void> release;
    const auto released = release.get_future().share();
    BundleInfoLookup lookup(
        [released](const std::filesystem::path&) -> std::optional<Value::Dictionary> {
            released.wait();
            return info("com.example.slow");
        },
        300ms, 2);

    const auto first = lookup.info(executable(1));
    ASSERT_FALSE(first);
    EXPECT_NE(first.error().find("not read within 300 ms"), std::string::npos) << first.error();

    // The same program again, a new one on the same device, and one more while both readers are
    // stuck: each answered at once.
    const auto start = std::chrono::steady_clock::now();
    EXPECT_FALSE(lookup.info(executable(1)));
    EXPECT_FALSE(lookup.info(executable(2)));
    const auto third = lookup.info(executable(3));
    ASSERT_FALSE(third);
    EXPECT_NE(third.error().find("earlier look-ups have not finished"), std::string::npos);
    EXPECT_LT(std::chrono::steady_clock::now() - start, 300ms) << "nobody waited on the stuck ones";

    release.set_value();
    std::optional<Value::Dictionary> late;
    for (auto waited = 0ms; waited < 5s && !late; waited += 10ms) {
        std::this_thread::sleep_for(10ms);
        if (auto answer = lookup.info(executable(2))) {
            late = *answer;
        }
    }
    EXPECT_EQ(late, info("com.example.slow")) << "a late answer is kept for the next connection";
}

TEST(BundleInfoLookup, StopJoinsTheReadersAndWaitsForAStuckOneOnlySoLong) {
    std::promise<void> release;
    const auto released = release.get_future().share();
    {
        BundleInfoLookup lookup(
            [](const std::filesystem::path&) -> std::optional<Value::Dictionary> {
                return info("com.example.x");
            },
            5s);
        ASSERT_TRUE(lookup.info({1, 1, 1, 0, "/quick"}));

        BundleInfoLookup stuck(
            [released](const std::filesystem::path&) -> std::optional<Value::Dictionary> {
                released.wait();
                return std::nullopt;
            },
            10ms);
        EXPECT_FALSE(stuck.info({1, 2, 1, 0, "/stuck"}));
        const auto start = std::chrono::steady_clock::now();
        EXPECT_EQ(stuck.stop(100ms), 1u) << "one reader left reading";
        EXPECT_LT(std::chrono::steady_clock::now() - start, 2s);
        const auto refused = stuck.info({1, 3, 1, 0, "/after"});
        ASSERT_FALSE(refused);
        EXPECT_NE(refused.error().find("stopping"), std::string::npos) << refused.error();
        EXPECT_EQ(lookup.stop(100ms), 1u) << "its own reader joined; the stuck one reads on";
    }
    // The stuck reader ends later, with nothing left of the look-up it reported to, and a later
    // stop joins it.
    release.set_value();
    EXPECT_EQ(
        BundleInfoLookup([](const std::filesystem::path&) { return std::nullopt; }, 5s).stop(5s),
        0u);
}

// The extension reads a connecting program's Info.plist as root, from folders that program's owner
// may change after it started: a link put in the way is never followed.
TEST(ProcessCodeIdentity, ReadsTheEnclosingBundlesInfoWithoutFollowingALink) {
    const auto plist = [](const std::string& identifier) {
        return "<?xml version=\"1.0\" encoding=\"UTF-8\"?><plist version=\"1.0\"><dict>"
               "<key>CFBundleIdentifier</key><string>" +
               identifier + "</string></dict></plist>";
    };
    const struct {
        const char* name;
        // Lays out X.app under the folder, next to a bundle only root should see.
        std::function<void(const std::filesystem::path&)> arrange;
        std::optional<std::string> identifier;
    } rows[] = {
        {"its own Info.plist", [&](const std::filesystem::path&) {}, "com.example.x"},
        {"Info.plist a link to another's",
         [&](const std::filesystem::path& root) {
             std::filesystem::remove(root / "X.app/Contents/Info.plist");
             std::filesystem::create_symlink(root / "Secret.app/Contents/Info.plist",
                                             root / "X.app/Contents/Info.plist");
         },
         std::nullopt},
        {"Contents a link to another's",
         [&](const std::filesystem::path& root) {
             std::filesystem::rename(root / "X.app/Contents", root / "Moved");
             std::filesystem::create_symlink(root / "Secret.app/Contents", root / "X.app/Contents");
         },
         std::nullopt},
        {"the bundle a link to another",
         [&](const std::filesystem::path& root) {
             std::filesystem::rename(root / "X.app", root / "Moved.app");
             std::filesystem::create_symlink(root / "Secret.app", root / "X.app");
         },
         std::nullopt},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        testing::TemporaryDirectory folder;
        std::filesystem::create_directories(folder / "X.app/Contents/MacOS");
        std::filesystem::create_directories(folder / "Secret.app/Contents");
        testing::writeFile(folder / "X.app/Contents/Info.plist", plist("com.example.x"));
        testing::writeFile(folder / "Secret.app/Contents/Info.plist", plist("com.example.secret"));
        row.arrange(folder.path());
        const auto info =
            ProcessCodeIdentity::enclosingBundleInfo(folder / "X.app/Contents/MacOS/x");
        if (!row.identifier) {
            EXPECT_FALSE(info);
            continue;
        }
        ASSERT_TRUE(info);
        EXPECT_EQ(*info, Value::Dictionary({{"CFBundleIdentifier", Value(*row.identifier)}}));
    }
}

}  // namespace
}  // namespace tarnwick
