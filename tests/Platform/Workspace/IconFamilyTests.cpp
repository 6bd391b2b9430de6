#include "Workspace/IconFamily.h"
#include "Workspace/Workspace.h"
#include "support/BundleFixture.h"
#include "support/TemporaryDirectory.h"

#include <gtest/gtest.h>

#include <sys/stat.h>

namespace tarnwick {
namespace {

using Bytes = std::vector<std::uint8_t>;

void appendU32(Bytes& bytes, std::uint32_t value) {
    for (int shift = 24; shift >= 0; shift -= 8) {
        bytes.push_back(static_cast<std::uint8_t>(value >> shift));
    }
}

void appendText(Bytes& bytes, std::string_view text) {
    bytes.insert(bytes.end(), text.begin(), text.end());
}

// The start of a PNG stream: signature and IHDR with the size; enough for what we read of it.
Bytes png(std::uint32_t width, std::uint32_t height) {
    Bytes bytes = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1a, '\n'};
    appendU32(bytes, 13);
    appendText(bytes, "IHDR");
    appendU32(bytes, width);
    appendU32(bytes, height);
    bytes.insert(bytes.end(), {8, 6, 0, 0, 0, 0, 0, 0, 0});
    return bytes;
}

Bytes chunk(std::string_view type, const Bytes& data) {
    Bytes bytes;
    appendText(bytes, type);
    appendU32(bytes, static_cast<std::uint32_t>(data.size() + 8));
    bytes.insert(bytes.end(), data.begin(), data.end());
    return bytes;
}

Bytes family(const std::vector<Bytes>& chunks) {
    Bytes body;
    for (const auto& c : chunks) {
        body.insert(body.end(), c.begin(), c.end());
    }
    Bytes bytes;
    appendText(bytes, "icns");
    appendU32(bytes, static_cast<std::uint32_t>(body.size() + 8));
    body.insert(body.begin(), bytes.begin(), bytes.end());
    return body;
}

TEST(IconFamily, KeepsThePNGRenditionsAndPicksTheLargest) {
    const auto parsed =
        IconFamily::parse(family({chunk("ic07", png(128, 128)), chunk("is32", Bytes(700, 0x11)),
                                  chunk("ic10", png(1024, 1024)), chunk("ic08", png(256, 256))}));
    ASSERT_TRUE(parsed) << parsed.error().description;
    ASSERT_EQ(parsed.value().renditions().size(), 3u);
    EXPECT_EQ(parsed.value().renditions()[0].type, "ic07");
    const auto largest = parsed.value().largestImage();
    ASSERT_TRUE(largest);
    EXPECT_EQ(largest->width, 1024u);
    EXPECT_EQ(largest->png, png(1024, 1024));
}

TEST(IconFamily, RefusesMalformedFilesWithAReason) {
    Bytes overlong = family({chunk("ic07", png(16, 16))});
    overlong[7] += 1;  // header claims one byte more than there is
    Bytes chunkPastEnd = family({chunk("ic07", png(16, 16))});
    chunkPastEnd[15] += 1;  // the chunk claims one byte more than the family
    Bytes zeroLengthChunk = family({});
    appendText(zeroLengthChunk, "ic07");
    appendU32(zeroLengthChunk, 0);
    zeroLengthChunk[7] = static_cast<std::uint8_t>(zeroLengthChunk.size());
    std::vector<Bytes> many(IconFamily::kMaximumChunks + 1, chunk("xxxx", {}));

    const struct {
        const char* name;
        Bytes bytes;
    } cases[] = {
        {"empty", {}},
        {"other magic", Bytes{'i', 'c', 'n', 'x', 0, 0, 0, 8}},
        {"truncated header", Bytes{'i', 'c', 'n', 's', 0, 0}},
        {"length past the end", overlong},
        {"length below the header", Bytes{'i', 'c', 'n', 's', 0, 0, 0, 4}},
        {"chunk past the end", chunkPastEnd},
        {"chunk shorter than its own header", zeroLengthChunk},
        {"too many chunks", family(many)},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const auto parsed = IconFamily::parse(c.bytes);
        ASSERT_FALSE(parsed);
        EXPECT_FALSE(parsed.error().description.empty());
    }
}

TEST(IconFamily, WithoutPNGRenditionsThereIsNoImage) {
    const auto parsed =
        IconFamily::parse(family({chunk("it32", Bytes(40, 1)), chunk("ic09", Bytes{0, 0, 0, 12})}));
    ASSERT_TRUE(parsed);
    EXPECT_FALSE(parsed.value().largestImage());
}

class WorkspaceIcons : public ::testing::Test {
protected:
    Workspace workspace() const {
        Workspace::Configuration configuration;
        configuration.applicationDirectories = {m_first.path(), m_second.path()};
        return Workspace(configuration);
    }
    std::filesystem::path bundle(const testing::TemporaryDirectory& folder, const std::string& name,
                                 const std::string& identifier,
                                 std::optional<std::string> iconFile) const {
        testing::BundleFixture fixture;
        fixture.name = name;
        fixture.info["CFBundleIdentifier"] = Value(identifier);
        if (iconFile) {
            fixture.info["CFBundleIconFile"] = Value(*iconFile);
        }
        return testing::writeBundle(folder.path(), fixture);
    }
    static void writeIcon(const std::filesystem::path& file, const Bytes& bytes) {
        std::filesystem::create_directories(file.parent_path());
        testing::writeFile(file, std::string(bytes.begin(), bytes.end()));
    }

    testing::TemporaryDirectory m_first;
    testing::TemporaryDirectory m_second;
};

TEST_F(WorkspaceIcons, FindsTheFirstCopyByIdentifierAndReadsItsIcon) {
    const auto second = bundle(m_second, "Tool.app", "com.sample.tool", "Tool");
    writeIcon(second / "Contents/Resources/Tool.icns", family({chunk("ic08", png(256, 256))}));
    const auto first = bundle(m_first, "Other Name.app", "com.sample.tool", "AppIcon.icns");
    writeIcon(first / "Contents/Resources/AppIcon.icns", family({chunk("ic07", png(128, 128))}));
    bundle(m_first, "Else.app", "com.sample.else", std::nullopt);

    const auto ws = workspace();
    EXPECT_EQ(ws.urlForApplication("com.sample.tool"), first);
    EXPECT_FALSE(ws.urlForApplication("com.sample.unknown"));
    EXPECT_FALSE(ws.urlForApplication(""));
    ASSERT_TRUE(ws.iconForFile(first));
    EXPECT_EQ(ws.iconForFile(first)->width, 128u);
    EXPECT_EQ(ws.iconForFile(second)->width, 256u);  // ".icns" added to a bare name
    EXPECT_FALSE(ws.iconForFile(*ws.urlForApplication("com.sample.else")));
}

TEST_F(WorkspaceIcons, AnIconFileThatIsNotAPlainFileInsideTheBundleGivesNoIcon) {
    const auto outside = bundle(m_first, "Outside.app", "com.sample.outside", "../../../secret");
    writeIcon(m_first.path() / "secret.icns", family({chunk("ic07", png(128, 128))}));
    const auto fifo = bundle(m_first, "Fifo.app", "com.sample.fifo", "Pipe.icns");
    std::filesystem::create_directories(fifo / "Contents/Resources");
    ASSERT_EQ(::mkfifo((fifo / "Contents/Resources/Pipe.icns").c_str(), 0600), 0);
    const auto corrupt = bundle(m_first, "Corrupt.app", "com.sample.corrupt", "Bad.icns");
    writeIcon(corrupt / "Contents/Resources/Bad.icns", Bytes{'i', 'c', 'n', 's', 0xff, 0, 0, 0});

    const auto ws = workspace();
    EXPECT_FALSE(ws.iconForFile(outside));
    EXPECT_FALSE(ws.iconForFile(fifo));  // returns instead of waiting for a writer
    EXPECT_FALSE(ws.iconForFile(corrupt));
}

}  // namespace
}  // namespace tarnwick
