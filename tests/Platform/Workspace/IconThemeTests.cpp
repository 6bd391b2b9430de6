#include "Workspace/IconTheme.h"
#include "support/TemporaryDirectory.h"

#include <gtest/gtest.h>

#include <sys/stat.h>

namespace tarnwick {
namespace {

using namespace tarnwick::testing;

// Two base folders, a theme that inherits another, hicolor and a pixmaps folder; every icon file
// holds its own path, so a row can tell which one was read.
class IconThemeTest : public ::testing::Test {
protected:
    IconThemeTest() {
        m_folders.baseDirectories = {m_root / "home-icons", m_root / "share-icons"};
        m_folders.pixmapDirectories = {m_root / "pixmaps"};
        writeFile(m_root / "home-icons/child/index.theme",
                  "[Icon Theme]\nName=Child\nInherits=parent\n"
                  "Directories=16x16/apps,48x48/apps,scalable/apps,../../escape\n\n"
                  "[16x16/apps]\nSize=16\nType=Fixed\n\n"
                  "[48x48/apps]\nSize=48\nType=Fixed\n\n"
                  "[scalable/apps]\nSize=64\nMinSize=8\nMaxSize=512\nType=Scalable\n\n"
                  "[../../escape]\nSize=48\n");
        writeFile(m_root / "share-icons/parent/index.theme",
                  "[Icon Theme]\nName=Parent\nDirectories=48x48/apps\n\n[48x48/apps]\nSize=48\n");
        writeFile(m_root / "share-icons/hicolor/index.theme",
                  "[Icon Theme]\nName=Hicolor\nDirectories=32x32/apps\n\n[32x32/apps]\nSize=32\n");
        for (const auto* icon :
             {"home-icons/child/16x16/apps/near.png", "share-icons/parent/48x48/apps/near.png",
              "share-icons/child/scalable/apps/vector.svg",
              "share-icons/parent/48x48/apps/fifo.png", "share-icons/hicolor/32x32/apps/basic.png",
              "pixmaps/old.xpm", "escape/escape.png", "share-icons/loose.png"}) {
            writeFile(m_root / icon, (m_root / icon).string());
        }
        ::mkfifo((m_root / "home-icons/child/48x48/apps/fifo.png").c_str(), 0600);
        std::filesystem::create_directories(m_root / "home-icons/child/48x48/apps/folder.png");
        writeFile(m_root / "share-icons/parent/48x48/apps/folder.png", "parent's");
    }

    std::string found(std::string_view name, int size = 48) const {
        const auto icon = IconTheme(m_folders, "child").lookup(name, size);
        if (!icon) {
            return "none";
        }
        EXPECT_EQ(icon->path.string().rfind(m_root.path().string(), 0), 0u);
        return icon->path.lexically_relative(m_root.path()).string();
    }

    TemporaryDirectory m_root;
    IconTheme::Folders m_folders;
};

TEST_F(IconThemeTest, TheThemeItsParentsHicolorThenTheLooseIcons) {
    struct Row {
        const char* name;
        int size;
        std::string expected;
    };
    const Row rows[] = {
        // The theme's closest size wins over a parent's exact one, as on the desktop.
        {"near", 48, "home-icons/child/16x16/apps/near.png"},
        {"near.png", 48, "home-icons/child/16x16/apps/near.png"},
        {"vector", 48, "share-icons/child/scalable/apps/vector.svg"},
        // A FIFO or a folder in the icon's place is passed over, without waiting.
        {"fifo", 48, "share-icons/parent/48x48/apps/fifo.png"},
        {"folder", 48, "share-icons/parent/48x48/apps/folder.png"},
        {"basic", 48, "share-icons/hicolor/32x32/apps/basic.png"},
        {"loose", 48, "share-icons/loose.png"},
        {"old", 48, "pixmaps/old.xpm"},
        // Nothing reaches out of the folders.
        {"escape", 48, "none"},
        {"../escape", 48, "none"},
        {"missing", 48, "none"},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        EXPECT_EQ(found(row.name, row.size), row.expected);
    }
    const auto vector = IconTheme(m_folders, "child").lookup("vector", 48);
    ASSERT_TRUE(vector);
    EXPECT_EQ(vector->format, IconTheme::Icon::Format::svg);
}

TEST_F(IconThemeTest, AnIndexThatInheritsItselfOrListsTooMuchIsBounded) {
    std::string index = "[Icon Theme]\nInherits=loop,child\nDirectories=";
    for (std::size_t folder = 0; folder < IconTheme::kMaximumDirectories * 2; ++folder) {
        index += "d" + std::to_string(folder) + ",";
    }
    index += "\n";
    for (std::size_t folder = 0; folder < IconTheme::kMaximumDirectories * 2; ++folder) {
        index += "[d" + std::to_string(folder) + "]\nSize=" + std::to_string(folder % 300) + "\n";
    }
    writeFile(m_root / "home-icons/loop/index.theme", index);
    const auto theme = IconTheme::parseIndex("loop", index);
    EXPECT_LE(theme.directories.size(), IconTheme::kMaximumDirectories);
    EXPECT_EQ(theme.parents, (std::vector<std::string>{"loop", "child"}));
    const auto basic = IconTheme(m_folders, "loop").lookup("basic", 48);
    ASSERT_TRUE(basic);
    EXPECT_EQ(basic->path, m_root / "share-icons/hicolor/32x32/apps/basic.png");
}

}  // namespace
}  // namespace tarnwick
