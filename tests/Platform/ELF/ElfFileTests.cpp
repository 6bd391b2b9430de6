#include "ELF/ElfFile.h"
#include "support/ElfFixture.h"
#include "support/TemporaryDirectory.h"

#include <gtest/gtest.h>

#include <cstring>

namespace tarnwick {
namespace {

using namespace tarnwick::testing;

ElfFile::ReadAt readerOf(const std::string& bytes) {
    return [&bytes](std::uint64_t offset, std::span<std::uint8_t> out) {
        if (offset > bytes.size() || out.size() > bytes.size() - offset) {
            return false;
        }
        std::memcpy(out.data(), bytes.data() + offset, out.size());
        return true;
    };
}

Result<std::string, ElfError> stringData(const std::string& bytes, std::uint64_t maximum = 1024) {
    auto data = ElfFile::stringData(readerOf(bytes), bytes.size(), maximum);
    if (!data) {
        return Failure{data.error()};
    }
    return std::string(data->begin(), data->end());
}

ElfFixture::Section rodata(std::string bytes) {
    return {".rodata", 1, 0x2, std::move(bytes)};
}

TEST(ElfFileTests, TakesTheStringSectionsOfEitherClassAndByteOrder) {
    const std::string strings = std::string("https://a.example.ru/") + '\0' + "two" + '\0';
    for (const bool wide : {true, false}) {
        for (const bool bigEndian : {false, true}) {
            SCOPED_TRACE(std::string(wide ? "64" : "32") + (bigEndian ? " big" : " little"));
            ElfFixture fixture{wide,
                               bigEndian,
                               false,
                               {rodata(strings),
                                {".data", 1, 0x3, "https://not.strings.ru/"},
                                {".merged", 1, 0x32, std::string("merged") + '\0'},
                                {".bss", 8, 0x3, ""}}};
            auto data = stringData(buildElf(fixture));
            ASSERT_TRUE(data) << data.error().message;
            EXPECT_EQ(*data, strings + '\0' + "merged" + '\0' + '\0');
        }
    }
}

TEST(ElfFileTests, CraftedFilesGiveAnErrorOrLessNeverAReadOutside) {
    const auto good = buildElf({true, false, false, {rodata("abc")}});
    ElfFixture pastTheEnd{true, false, false, {rodata("abc")}};
    pastTheEnd.sections[0].offsetOverride = 1u << 30;
    std::string tableOutside = good;
    tableOutside[0x28 + 4] = 0x7f;  // the section table's offset far past the end
    std::string tinyEntries = good;
    tinyEntries[0x3a] = 8;  // section headers too small to hold their fields
    struct Case {
        const char* name;
        std::string bytes;
        bool ok;
        std::string expected;
    };
    const Case cases[] = {
        {"empty file", "", false, ""},
        {"not ELF", "#!/bin/sh\necho hi\n", false, ""},
        {"header cut short", good.substr(0, 40), false, ""},
        {"section table cut off", good.substr(0, good.size() - 10), false, ""},
        {"section table outside the file", tableOutside, false, ""},
        {"section headers too small", tinyEntries, false, ""},
        {"a section past the end is skipped", buildElf(pastTheEnd), true, ""},
        {"no sections at all", buildElf({}), true, ""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        auto data = stringData(c.bytes);
        ASSERT_EQ(data.ok(), c.ok);
        if (c.ok) {
            EXPECT_EQ(*data, c.expected);
        }
    }
}

TEST(ElfFileTests, StopsAtTheByteBudget) {
    auto data = stringData(buildElf({true, false, false, {rodata("abcdef"), rodata("ghi")}}), 4);
    ASSERT_TRUE(data);
    EXPECT_EQ(*data, std::string("abcd") + '\0');
}

TEST(ElfFileTests, AppImageMarkAndFilesThatAreNotRegular) {
    TemporaryDirectory folder;
    writeFile(folder / "Tool.AppImage", buildElf({true, false, true, {rodata("x")}}));
    writeFile(folder / "plain", buildElf({true, false, false, {rodata("x")}}));
    std::filesystem::create_directory(folder / "folder");
    std::filesystem::create_symlink("/dev/zero", folder / "zero");
    EXPECT_TRUE(ElfFile::isAppImageFile(folder / "Tool.AppImage"));
    for (const char* name : {"plain", "folder", "zero", "missing"}) {
        SCOPED_TRACE(name);
        EXPECT_FALSE(ElfFile::isAppImageFile(folder / name));
        if (std::string(name) != "plain") {
            EXPECT_FALSE(ElfFile::stringDataOfFile(folder / name));
        }
    }
}

}  // namespace
}  // namespace tarnwick
