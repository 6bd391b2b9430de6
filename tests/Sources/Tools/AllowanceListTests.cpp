#include "Tools/AllowanceList.h"
#include "Tools/Entry.h"
#include "support/TemporarySettings.h"

#include <gtest/gtest.h>

namespace tarnwick {
namespace {

using testing::TemporarySettings;

const char* const kStored =
    R"({"bundleIDWhitelist":["org.example.a","org.example.a"],"bundleIDBlacklist":["x.y"],)"
    R"("hostWhitelist":["cdn.example.org"],"hostBlacklist":["example.ru","mail.example.ru"],)"
    R"("hitsBlackList":[{"processId":"x.y","ipAddress":"192.0.2.1"}],)"
    R"("hitsWhitelist":[{"processId":"org.example.a","ipAddress":"2001:db8::1"},)"
    R"({"processId":"org.example.a","ipAddress":"192.0.2.1"}]})";

TEST(AllowanceList, StoredFormRoundTripsWithOrderAndRepeats) {
    const auto list = AllowanceList::decode(kStored);
    EXPECT_EQ(list.bundleIDWhitelist, (std::vector<std::string>{"org.example.a", "org.example.a"}));
    EXPECT_EQ(list.hitsBlackList, (std::vector<HitListEntry>{{"x.y", "192.0.2.1"}}));
    ASSERT_EQ(list.hitsWhitelist.size(), 2U);
    EXPECT_EQ(list.hitsWhitelist[0].ipAddress, "2001:db8::1");
    EXPECT_EQ(list.encode().value(), kStored);
    EXPECT_EQ(AllowanceList{}.encode().value(),
              R"({"bundleIDWhitelist":[],"bundleIDBlacklist":[],"hostWhitelist":[],)"
              R"("hostBlacklist":[],"hitsBlackList":[],"hitsWhitelist":[]})");
}

TEST(AllowanceList, DocumentsThatDoNotDecode) {
    const std::string complete = kStored;
    auto replaced = [&](const std::string& from, const std::string& to) {
        std::string text = complete;
        text.replace(text.find(from), from.size(), to);
        return text;
    };
    const std::string documents[] = {
        replaced("\"hitsWhitelist\"", "\"hitsWhiteList\""),
        replaced(
            ",\"hitsWhitelist\":[{\"processId\":\"org.example.a\",\"ipAddress\":\"2001:db8::1\"},"
            "{\"processId\":\"org.example.a\",\"ipAddress\":\"192.0.2.1\"}]",
            ""),
        replaced("{\"processId\":\"x.y\",\"ipAddress\":\"192.0.2.1\"}", "{\"processId\":\"x.y\"}"),
        replaced("[\"x.y\"]", "[1]"),
        "[]",
        "",
    };
    for (const auto& document : documents) {
        SCOPED_TRACE(document);
        EXPECT_THROW(AllowanceList::decode(document), DecodingError);
    }
    // Members beyond the six are ignored.
    EXPECT_NO_THROW(AllowanceList::decode(
        replaced("{\"bundleIDWhitelist\"", "{\"v\":2,\"bundleIDWhitelist\"")));
}

TEST(AllowanceList, SettingsStoreRestoresWhatItSaved) {
    TemporarySettings settings;
    EXPECT_EQ(AllowanceList::restoreFromSettings(), std::nullopt);
    const auto list = AllowanceList::decode(kStored);
    EXPECT_TRUE(list.saveToSettings());
    EXPECT_EQ(settings.storedText(SettingsKey::allowanceList), kStored);
    settings.relaunch();
    EXPECT_EQ(AllowanceList::restoreFromSettings(), list);
}

TEST(AllowanceList, UndecodableListsAreKeptAsideAndEncodingFailuresLogged) {
    TemporarySettings settings;
    const std::string broken = R"({"bundleIDWhitelist":[]})";
    settings.storeData(SettingsKey::allowanceList, broken);
    EXPECT_EQ(AllowanceList::restoreFromSettings(), std::nullopt);
    EXPECT_EQ(testing::readFile(settings.file().string() + ".allowanceList.corrupt"), broken);

    AllowanceList unencodable;
    unencodable.hostBlacklist.push_back("\xe2\x82");
    EXPECT_FALSE(unencodable.saveToSettings());
    EXPECT_EQ(settings.storedText(SettingsKey::allowanceList), broken);
    const auto lines = settings.logLines();
    EXPECT_EQ(lines.back(), "Unable to encode deny list");
}

TEST(AllowanceList, SideFileFailureRefusesTheOverwrite) {
    TemporarySettings settings;
    const std::string broken = "not json";
    settings.storeData(SettingsKey::allowanceList, broken);
    // A folder in the side file's place: no copy can be made.
    const auto side = settings.file().string() + ".allowanceList.corrupt";
    std::filesystem::create_directories(side);
    for (int attempt = 2; attempt < 1000; ++attempt) {
        std::filesystem::create_directories(side + "-" + std::to_string(attempt));
    }
    EXPECT_EQ(AllowanceList::restoreFromSettings(), std::nullopt);
    EXPECT_FALSE(AllowanceList{}.saveToSettings());
    EXPECT_EQ(settings.storedText(SettingsKey::allowanceList), broken);

    // Once a copy can be made, the write goes ahead.
    std::filesystem::remove(side + "-999");
    EXPECT_TRUE(AllowanceList{}.saveToSettings());
    EXPECT_EQ(testing::readFile(side + "-999"), broken);
}

TEST(Entry, TitlesOfTheThreeKinds) {
    const HitListEntry hit{"org.example.a", "192.0.2.7"};
    struct Row {
        bool isDenied;
        Entry::Kind kind;
        std::string name;
        Entry::EntryValue value;
        const char* title;
    };
    const Row rows[] = {
        {true, Entry::Kind::bundleId, "Editor", std::string("org.example.a"),
         "Deny all connections from Editor"},
        {false, Entry::Kind::bundleId, "org.example.a", std::string("org.example.a"),
         "Allow all connections from org.example.a"},
        {true, Entry::Kind::host, "example.ru", std::string("example.ru"),
         "Deny all connections to example.ru"},
        {false, Entry::Kind::hit, "org.example.a", hit,
         "Allow all connections from org.example.a to 192.0.2.7"},
        {true, Entry::Kind::hit, "Editor", hit, "Deny all connections from Editor to 192.0.2.7"},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.title);
        EXPECT_EQ(Entry::makeTitle(row.isDenied, row.kind, row.name, row.value), row.title);
    }
    const Entry entry("Deny all connections to example.ru", std::string("example.ru"),
                      Entry::Kind::host);
    EXPECT_EQ(std::get<std::string>(entry.value()), "example.ru");
}

}  // namespace
}  // namespace tarnwick
