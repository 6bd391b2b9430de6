#include "MachO/FatBinary.h"
#include "MachO/MachOImage.h"
#include "MachO/MemoryMap.h"
#include "fuzz/FuzzEntries.h"
#include "support/MachOFixture.h"
#include "support/TemporaryDirectory.h"

#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

namespace tarnwick {
namespace {

using testing::buildFatMachO;
using testing::buildThinMachO;
using testing::MachOFixtureImage;

std::span<const std::uint8_t> asBytes(const std::string& text) {
    return {reinterpret_cast<const std::uint8_t*>(text.data()), text.size()};
}

std::vector<std::string> toStrings(const std::vector<std::string_view>& views) {
    return {views.begin(), views.end()};
}

TEST(MachOImageTests, ReadsTheCStringsOfThinImagesOfEveryWidthAndByteOrder) {
    struct Case {
        const char* name;
        bool is64Bit;
        bool bigEndian;
        std::uint32_t cputype;
    };
    const Case cases[] = {
        {"64-bit little-endian", true, false, CPUType::x86_64},
        {"32-bit little-endian", false, false, CPUType::x86},
        {"64-bit big-endian", true, true, 0x01000012},
        {"32-bit big-endian", false, true, 18},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        MachOFixtureImage fixture;
        fixture.is64Bit = c.is64Bit;
        fixture.bigEndian = c.bigEndian;
        fixture.cputype = c.cputype;
        fixture.cStrings = {"https://example.ru/api", "Hello", "ПРИВЕТ"};
        const auto bytes = buildThinMachO(fixture);
        auto image = MachOImage::parse(asBytes(bytes));
        ASSERT_TRUE(image) << image.error().message;
        EXPECT_EQ(image->is64Bit(), c.is64Bit);
        EXPECT_EQ(image->isBigEndian(), c.bigEndian);
        EXPECT_EQ(image->cputype(), c.cputype);
        ASSERT_EQ(image->sections().size(), 1u);
        EXPECT_EQ(image->sections()[0].segmentName, "__TEXT");
        auto strings = image->cStrings();
        ASSERT_TRUE(strings);
        EXPECT_EQ(toStrings(*strings), fixture.cStrings);
    }
}

TEST(MachOImageTests, AnImageWithoutACStringSectionSaysSo) {
    MachOFixtureImage fixture;
    fixture.sectionName = "__const";
    fixture.cStrings = {"hidden"};
    const auto bytes = buildThinMachO(fixture);
    auto image = MachOImage::parse(asBytes(bytes));
    ASSERT_TRUE(image);
    auto strings = image->cStrings();
    ASSERT_FALSE(strings);
    EXPECT_EQ(strings.error().code, MachOError::Code::noSuchSection);
}

TEST(MachOImageTests, SplittingSkipsPaddingAndAnUnterminatedTail) {
    const std::string bytes("\0\0one\0\0two\0tail", 15);
    EXPECT_EQ(toStrings(MachOImage::splitCStrings(asBytes(bytes))),
              (std::vector<std::string>{"one", "two"}));
}

TEST(FatBinaryTests, PicksTheX8664SliceElseTheFirstOne) {
    MachOFixtureImage intel;
    intel.cStrings = {"intel"};
    MachOFixtureImage arm;
    arm.cputype = CPUType::arm64;
    arm.cStrings = {"arm"};
    struct Case {
        const char* name;
        std::vector<testing::MachOFixtureSlice> slices;
        bool wide;
        std::string expected;
    };
    const Case cases[] = {
        {"arm64 then x86-64",
         {{CPUType::arm64, buildThinMachO(arm)}, {CPUType::x86_64, buildThinMachO(intel)}},
         false,
         "intel"},
        {"arm64 only, read through its slice",
         {{CPUType::arm64, buildThinMachO(arm)}},
         false,
         "arm"},
        {"64-bit slice table",
         {{CPUType::arm64, buildThinMachO(arm)}, {CPUType::x86_64, buildThinMachO(intel)}},
         true,
         "intel"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const auto bytes = buildFatMachO(c.slices, c.wide);
        auto fat = FatBinary::parse(asBytes(bytes));
        ASSERT_TRUE(fat);
        EXPECT_EQ(fat->architectures().size(), c.slices.size());
        auto slice = preferredSlice(asBytes(bytes));
        ASSERT_TRUE(slice);
        auto image = MachOImage::parse(asBytes(bytes), *slice);
        ASSERT_TRUE(image) << image.error().message;
        auto strings = image->cStrings();
        ASSERT_TRUE(strings);
        EXPECT_EQ(toStrings(*strings), std::vector<std::string>{c.expected});
    }
}

TEST(FatBinaryTests, AThinFileIsItsOwnOnlySlice) {
    const auto bytes = buildThinMachO(MachOFixtureImage{});
    auto slices = allSlices(asBytes(bytes));
    ASSERT_TRUE(slices);
    ASSERT_EQ(slices->size(), 1u);
    EXPECT_EQ((*slices)[0].offset, 0u);
    EXPECT_EQ((*slices)[0].size, bytes.size());
}

// Each corruption names the field it breaks; every one must give an error, never a read outside
// the bytes (the sanitizers would stop the test).
TEST(MachOCorruptionTests, BrokenHeadersAndTablesGiveErrors) {
    MachOFixtureImage fixture;
    fixture.cStrings = {"abc"};
    const auto thin = buildThinMachO(fixture);
    const auto fat = buildFatMachO({{CPUType::x86_64, thin}});
    struct Case {
        const char* name;
        std::string bytes;
        std::size_t at;
        std::uint32_t value;
        bool littleEndian;
    };
    const Case cases[] = {
        {"load command count beyond limit", thin, 16, 0x7fffffff, true},
        {"load commands size beyond file", thin, 20, 0x7fffffff, true},
        {"command size zero", thin, 32 + 4, 0, true},
        {"command size beyond commands", thin, 32 + 4, 0x10000, true},
        {"section count beyond command", thin, 32 + 64, 1000, true},
        {"fat slice count zero", fat, 4, 0, false},
        {"fat slice count huge", fat, 4, 0x10000, false},
        {"fat slice offset past end", fat, 16, 0x7ffffff0, false},
        {"fat slice size past end", fat, 20, 0x7ffffff0, false},
        {"fat slice over its own table", fat, 16, 4, false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        std::string bytes = c.bytes;
        if (c.littleEndian) {
            for (int i = 0; i < 4; ++i) {
                bytes[c.at + i] = static_cast<char>((c.value >> (i * 8)) & 0xff);
            }
        } else {
            testing::putBigEndian32(bytes, c.at, c.value);
        }
        auto slice = preferredSlice(asBytes(bytes));
        if (!slice) {
            continue;
        }
        auto image = MachOImage::parse(asBytes(bytes), *slice);
        EXPECT_FALSE(image);
    }
}

TEST(MachOCorruptionTests, SectionOffsetPastTheEndIsAnErrorOnRead) {
    MachOFixtureImage fixture;
    fixture.cStrings = {"abc"};
    auto bytes = buildThinMachO(fixture);
    // section_64.offset sits 48 bytes into the section, after the 72-byte segment command.
    const std::size_t offsetField = 32 + 72 + 48;
    for (int i = 0; i < 4; ++i) {
        bytes[offsetField + i] = static_cast<char>(0xff);
    }
    auto image = MachOImage::parse(asBytes(bytes));
    ASSERT_TRUE(image);
    auto strings = image->cStrings();
    ASSERT_FALSE(strings);
    EXPECT_EQ(strings.error().code, MachOError::Code::truncated);
}

TEST(MachOCorruptionTests, EveryTruncationAndRandomFlipsStayInBounds) {
    MachOFixtureImage fixture;
    fixture.cStrings = {"one", "two"};
    fixture.codeSignature = std::string(64, '\x7f');
    const auto thin = buildThinMachO(fixture);
    const auto fat = buildFatMachO({{CPUType::arm64, thin}, {CPUType::x86_64, thin}}, true);
    for (const auto* whole : {&thin, &fat}) {
        for (std::size_t length = 0; length < whole->size(); length += 7) {
            // A copy of exactly that length, so the sanitizer sees a read past it.
            const std::vector<std::uint8_t> prefix(whole->begin(), whole->begin() + length);
            fuzz::fuzzMachO(prefix.data(), prefix.size());
        }
    }
    std::mt19937 random(42);
    for (int round = 0; round < 2000; ++round) {
        std::vector<std::uint8_t> bytes(thin.begin(), thin.end());
        for (int flip = 0; flip < 4; ++flip) {
            bytes[random() % 256 % bytes.size()] = static_cast<std::uint8_t>(random());
        }
        fuzz::fuzzMachO(bytes.data(), bytes.size());
    }
}

TEST(MemoryMapTests, MapsAFileAndRefusesWhatIsNotOne) {
    testing::TemporaryDirectory folder;
    const auto bytes = buildThinMachO(MachOFixtureImage{});
    testing::writeFile(folder / "exe", bytes);
    testing::writeFile(folder / "empty", "");

    auto map = MemoryMap::mapFile(folder / "exe");
    ASSERT_TRUE(map);
    EXPECT_EQ(map->size(), bytes.size());
    EXPECT_TRUE(MachOImage::parse(map->bytes()));

    auto empty = MemoryMap::mapFile(folder / "empty");
    ASSERT_TRUE(empty);
    auto image = MachOImage::parse(empty->bytes());
    ASSERT_FALSE(image);
    EXPECT_EQ(image.error().code, MachOError::Code::notMachO);

    for (const char* name : {"missing", ""}) {
        auto failed = MemoryMap::mapFile(folder / name);  // "" is the folder itself
        ASSERT_FALSE(failed);
        EXPECT_EQ(failed.error().code, MachOError::Code::cannotOpen);
    }
}

TEST(MemoryMapTests, ACopyOnDemandOutlivesTheFileBeingCutShort) {
    testing::TemporaryDirectory folder;
    MachOFixtureImage fixture;
    fixture.cStrings = {"https://a.example.ru/", "two"};
    // Padding pushes the strings past the first pages, where a cut leaves them outside the file.
    fixture.cStrings.push_back(std::string(256 * 1024, 'x'));
    const auto bytes = buildThinMachO(fixture);
    testing::writeFile(folder / "exe", bytes);

    auto map = MemoryMap::copyOnDemand(folder / "exe");
    ASSERT_TRUE(map);
    ASSERT_TRUE(map->loadFatHeader());
    ASSERT_TRUE(map->loadImageHeader({0, bytes.size()}));
    auto image = MachOImage::parse(map->bytes());
    ASSERT_TRUE(image);
    const auto* section = image->section("__cstring");
    ASSERT_NE(section, nullptr);

    std::filesystem::resize_file(folder / "exe", 4096);
    EXPECT_FALSE(map->load(section->offset, section->size));
    // Every byte still reads (as zeros where nothing was loaded): a mapping of the file would
    // have ended the process here.
    std::size_t sum = 0;
    for (const auto byte : map->bytes()) {
        sum += byte;
    }
    EXPECT_GT(sum, 0u);
    EXPECT_TRUE(MemoryMap::copyOnDemand(folder / "missing").error().code ==
                MachOError::Code::cannotOpen);
}

}  // namespace
}  // namespace tarnwick
