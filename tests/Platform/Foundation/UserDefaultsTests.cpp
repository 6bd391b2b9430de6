#include "Foundation/UserDefaults.h"
#include "OSLog/OSLog.h"
#include "support/TemporaryDirectory.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace tarnwick {
namespace {

using testing::readFile;
using testing::TemporaryDirectory;
using testing::writeFile;

TEST(UserDefaults, ValuesKeepTheirTypesAcrossAReload) {
    TemporaryDirectory folder;
    const auto file = folder / "domain.json";
    {
        UserDefaults defaults(file);
        defaults.set("flag", Value(true));
        defaults.set("count", Value(std::int64_t{41}));
        defaults.set("ratio", Value(0.5));
        defaults.set("name", Value("Tarnwick"));
        defaults.set("blob", Value(Value::Data{0x00, 0xFF, 0x7B, 0x22}));
        defaults.set("list", Value(Value::Array{Value(1), Value("two")}));
    }
    UserDefaults reloaded(file);
    EXPECT_EQ(reloaded.object("flag")->asBool(), true);
    EXPECT_EQ(reloaded.object("count")->asInteger(), 41);
    EXPECT_EQ(reloaded.object("ratio")->asReal(), 0.5);
    EXPECT_EQ(reloaded.object("name")->asString(), "Tarnwick");
    EXPECT_EQ(reloaded.object("blob")->asData(), (Value::Data{0x00, 0xFF, 0x7B, 0x22}));
    EXPECT_EQ(*reloaded.object("list"), Value(Value::Array{Value(1), Value("two")}));
    // A value read as another type is absent, not converted.
    EXPECT_EQ(reloaded.object("name")->asInteger(), std::nullopt);
    EXPECT_EQ(reloaded.object("flag")->asInteger(), std::nullopt);
}

TEST(UserDefaults, SettingNoValueRemovesTheKey) {
    TemporaryDirectory folder;
    UserDefaults defaults(folder / "domain.json");
    defaults.set("key", Value(1));
    defaults.set("key", std::nullopt);
    EXPECT_EQ(defaults.object("key"), std::nullopt);
    EXPECT_EQ(UserDefaults(folder / "domain.json").object("key"), std::nullopt);
}

TEST(UserDefaults, ReadingNeverWrites) {
    TemporaryDirectory folder;
    UserDefaults defaults(folder / "domain.json");
    EXPECT_EQ(defaults.object("missing"), std::nullopt);
    EXPECT_FALSE(std::filesystem::exists(folder / "domain.json"));
}

TEST(UserDefaults, WritesLeaveNoTemporaryFilesAndArePrivate) {
    TemporaryDirectory folder;
    UserDefaults defaults(folder / "nested" / "domain.json");
    defaults.set("a", Value(1));
    defaults.set("b", Value(2));
    std::size_t files = 0;
    for (const auto& entry : std::filesystem::directory_iterator(folder / "nested")) {
        EXPECT_EQ(entry.path().filename(), "domain.json");
        ++files;
    }
    EXPECT_EQ(files, 1u);
    struct stat info {};
    ASSERT_EQ(::stat((folder / "nested" / "domain.json").c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 0777, 0600u);
}

TEST(UserDefaults, LoadingRemovesOnlyTheStaleTemporaryFilesOfKilledSaves) {
    TemporaryDirectory folder;
    const auto file = folder / "domain.json";
    writeFile(file, R"({"a":1})");
    writeFile(folder / "elsewhere", "kept");
    std::filesystem::create_symlink(folder / "elsewhere", folder / "domain.json.Lnk123");
    std::filesystem::create_directory(folder / "domain.json.Dir123");
    struct Sibling {
        const char* name;
        bool old;
        bool removed;
    };
    const Sibling siblings[] = {
        {"domain.json.Ab3xYz", true, true},    // left by a save that was killed
        {"domain.json.Qw9Rt2", false, false},  // a save under way in another process
        {"domain.json.corrupt", true, false},  // kept aside on purpose
        {"domain.json.Ab3xY", true, false},    // not the name a save makes
        {"domain.json.Ab3xYz1", true, false}, {"domain.json.Ab-xYz", true, false},
        {"other.json.Ab3xYz", true, false},   // another file's
        {"domain.json.Lnk123", true, false},  // a link, whatever it points at
        {"domain.json.Dir123", true, false},  // a folder
    };
    for (const auto& sibling : siblings) {
        if (!std::filesystem::exists(folder / sibling.name)) {
            writeFile(folder / sibling.name, "partial");
        }
        if (sibling.old) {
            const timespec hourAgo[2] = {{::time(nullptr) - 3600, 0}, {::time(nullptr) - 3600, 0}};
            ::utimensat(AT_FDCWD, (folder / sibling.name).c_str(), hourAgo, AT_SYMLINK_NOFOLLOW);
        }
    }

    UserDefaults defaults(file);
    EXPECT_EQ(defaults.object("a")->asInteger(), 1);
    for (const auto& sibling : siblings) {
        EXPECT_EQ(std::filesystem::exists(std::filesystem::symlink_status(folder / sibling.name)),
                  !sibling.removed)
            << sibling.name;
    }
    EXPECT_EQ(readFile(folder / "elsewhere"), "kept");
}

TEST(UserDefaults, UnreadableFileIsKeptAsideBeforeTheFirstWrite) {
    TemporaryDirectory folder;
    const auto file = folder / "domain.json";
    const std::string garbage = "{\"launchesCount\": 3, oops";
    writeFile(file, garbage);
    std::vector<std::string> logged;
    OSLog::setObserverForTesting(
        [&](const OSLog&, OSLogType, std::string_view line) { logged.emplace_back(line); });

    UserDefaults defaults(file);
    EXPECT_EQ(defaults.object("launchesCount"), std::nullopt);
    // Only reading: the unreadable bytes stay where they are.
    EXPECT_EQ(readFile(file), garbage);
    EXPECT_FALSE(std::filesystem::exists(folder / "domain.json.corrupt"));

    defaults.set("launchesCount", Value(1));
    EXPECT_EQ(readFile(folder / "domain.json.corrupt"), garbage);
    EXPECT_EQ(UserDefaults(file).object("launchesCount")->asInteger(), 1);
    EXPECT_FALSE(logged.empty());
    OSLog::setObserverForTesting(nullptr);
}

TEST(UserDefaults, AFileThatCannotBeReadIsNeverSavedOver) {
    if (::geteuid() == 0) {
        GTEST_SKIP() << "root reads every file";
    }
    TemporaryDirectory folder;
    const auto file = folder / "domain.json";
    writeFile(file, "{\"launchesCount\": 3}");
    ASSERT_EQ(::chmod(file.c_str(), 0), 0);
    UserDefaults defaults(file);
    EXPECT_EQ(defaults.object("launchesCount"), std::nullopt);
    defaults.set("launchesCount", Value(1));
    // The value lives on in memory, the file is untouched.
    EXPECT_EQ(defaults.object("launchesCount")->asInteger(), 1);
    ASSERT_EQ(::chmod(file.c_str(), 0600), 0);
    EXPECT_EQ(readFile(file), "{\"launchesCount\": 3}");
}

TEST(UserDefaults, AnEarlierSideFileIsNeverOverwritten) {
    TemporaryDirectory folder;
    const auto file = folder / "domain.json";
    writeFile(folder / "domain.json.corrupt", "older");
    writeFile(file, "[1, 2");  // valid JSON start, but not a document we can read
    UserDefaults defaults(file);
    defaults.set("key", Value(true));
    EXPECT_EQ(readFile(folder / "domain.json.corrupt"), "older");
    EXPECT_EQ(readFile(folder / "domain.json.corrupt-2"), "[1, 2");
}

TEST(UserDefaults, ATopLevelThatIsNotAnObjectIsUnreadable) {
    TemporaryDirectory folder;
    writeFile(folder / "domain.json", "[true]");
    UserDefaults defaults(folder / "domain.json");
    defaults.set("key", Value(true));
    EXPECT_EQ(readFile(folder / "domain.json.corrupt"), "[true]");
}

// A settings file nested this deeply once crashed the application at every start.
TEST(UserDefaults, ADeeplyNestedFileIsUnreadable) {
    TemporaryDirectory folder;
    const std::string deep = R"({"key":)" + std::string(20000, '[') + std::string(20000, ']') + "}";
    writeFile(folder / "domain.json", deep);
    UserDefaults defaults(folder / "domain.json");
    EXPECT_EQ(defaults.object("key"), std::nullopt);
    defaults.set("key", Value(true));
    EXPECT_EQ(readFile(folder / "domain.json.corrupt"), deep);

    const auto refused = UserDefaults::parseDocument(deep);
    ASSERT_FALSE(refused.ok());
    EXPECT_EQ(refused.error(), "arrays and objects nested deeper than 512 levels");
}

}  // namespace
}  // namespace tarnwick
