#include "Workspace/DesktopEntry.h"
#include "support/TemporaryDirectory.h"

#include <gtest/gtest.h>

#include <fstream>
#include <sys/stat.h>

namespace tarnwick {
namespace {

using testing::TemporaryDirectory;

const std::string kEditor =
    "# comment\n[Desktop Entry]\nName = Editor\nName[de_AT@euro]=Edi\nName[pt]=Editor PT\n"
    "Type=Application\nExec=env A=1 B=2 \"/opt/my editor/bin/edit\" --new %F\n"
    "Icon=accessories-text-editor\n"
    "[Desktop Action window]\nName=New Window\nExec=other\nIcon=window\n";

std::string manyKeys(std::size_t count) {
    std::string text = "[Desktop Entry]\nType=Application\n";
    for (std::size_t index = 0; index < count; ++index) {
        text += "X-Key" + std::to_string(index) + "=v\n";
    }
    return text;
}

TEST(DesktopEntry, ParsesTheMainGroup) {
    using Text = std::optional<std::string>;
    struct Case {
        const char* label;
        std::string text;
        bool group;        // parseGroup accepts it
        bool application;  // parse gives an entry
        bool listed;
        Text name;
        Text program;
        Text icon;
    };
    const Case cases[] = {
        {"editor", kEditor, true, true, true, "Editor", "/opt/my editor/bin/edit",
         "accessories-text-editor"},
        {"TryExec first", "[Desktop Entry]\nType=Application\nTryExec=real\nExec=launcher real\n",
         true, true, true, std::nullopt, "real", std::nullopt},
        {"escapes, first key wins, later groups ignored",
         "[Desktop Entry]\nName = Tool\\sPro\nName[ru]=Инструмент\nName=Second\n"
         "Hidden=True\nExec=\"/opt/my tool/run\" --x\n[Other]\nType=Application\n",
         true, false, false, "Tool Pro", "/opt/my tool/run", std::nullopt},
        {"unterminated quote", "[Desktop Entry]\nType=Application\nExec=\"/opt/x --y\n", true, true,
         true, std::nullopt, std::nullopt, std::nullopt},
        {"hidden", "[Desktop Entry]\nType=Application\nName=Gone\nHidden=true\n", true, false,
         false, "Gone", std::nullopt, std::nullopt},
        {"no display", "[Desktop Entry]\nType=Application\nName=Quiet\nNoDisplay=true\n", true,
         true, false, "Quiet", std::nullopt, std::nullopt},
        {"a link", "[Desktop Entry]\nType=Link\nName=Site\n", true, false, false, "Site",
         std::nullopt, std::nullopt},
        {"no main group", "Name=x\n[Other]\nType=Application\n", false, false, false, {}, {}, {}},
        {"garbage", "\xff\xfe garbage", false, false, false, {}, {}, {}},
        {"too long",
         "[Desktop Entry]\nType=Application\n#" + std::string(DesktopEntry::kMaximumBytes, 'x'),
         false,
         false,
         false,
         {},
         {},
         {}},
        {"most keys", manyKeys(DesktopEntry::kMaximumKeys - 1), true, true, true, {}, {}, {}},
        {"too many keys", manyKeys(DesktopEntry::kMaximumKeys), false, false, false, {}, {}, {}},
    };
    for (const auto& test : cases) {
        SCOPED_TRACE(test.label);
        const auto group = DesktopEntry::parseGroup(test.text, "org.example.Id");
        ASSERT_EQ(group.ok(), test.group);
        EXPECT_EQ(DesktopEntry::parse(test.text, "org.example.Id").has_value(), test.application);
        if (!group) {
            continue;
        }
        EXPECT_EQ(group->identifier(), "org.example.Id");
        EXPECT_EQ(group->isListedApplication(), test.listed);
        EXPECT_EQ(group->name("C"), test.name);
        EXPECT_EQ(group->program(), test.program);
        EXPECT_EQ(group->icon(), test.icon);
    }
}

TEST(DesktopEntry, NameFollowsTheLocale) {
    const auto editor = DesktopEntry::parse(kEditor, "org.example.Editor");
    ASSERT_TRUE(editor);
    const std::pair<const char*, const char*> cases[] = {
        {"de_AT.UTF-8@euro", "Edi"}, {"de_AT.UTF-8", "Editor"}, {"pt_BR.UTF-8", "Editor PT"},
        {"pt", "Editor PT"},         {"C", "Editor"},           {"", "Editor"},
    };
    for (const auto& [locale, name] : cases) {
        SCOPED_TRACE(locale);
        EXPECT_EQ(editor->name(locale), name);
    }
}

TEST(DesktopEntry, ExecArguments) {
    using Arguments = std::vector<std::string>;
    const std::pair<const char*, std::optional<Arguments>> cases[] = {
        {"tool --x %U", Arguments{"tool", "--x"}},
        {"\"/opt/my tool/run\" \"a \\\"b\\\"\" 100%%",
         Arguments{"/opt/my tool/run", "a \"b\"", "100%"}},
        {"  spaced\targs  ", Arguments{"spaced", "args"}},
        {"\"unterminated", std::nullopt},
        {"", Arguments{}},
    };
    for (const auto& [exec, expected] : cases) {
        SCOPED_TRACE(exec);
        EXPECT_EQ(DesktopEntry::execArguments(exec), expected);
    }
}

TEST(DesktopEntry, AFileThatIsNoPlainFileOrTooLargeIsNoEntry) {
    TemporaryDirectory folder;
    // Nobody writes to the FIFO: reading it the plain way would wait for ever.
    ASSERT_EQ(::mkfifo((folder / "fifo.desktop").c_str(), 0600), 0);
    EXPECT_FALSE(DesktopEntry::readGroup(folder / "fifo.desktop", "fifo"));
    EXPECT_EQ(DesktopEntry::read(folder / "fifo.desktop", "fifo"), std::nullopt);
    std::ofstream(folder / "huge.desktop") << "[Desktop Entry]\nType=Application\nExec=x\n#"
                                           << std::string(DesktopEntry::kMaximumBytes, 'x') << "\n";
    EXPECT_FALSE(DesktopEntry::readGroup(folder / "huge.desktop", "huge"));
    std::ofstream(folder / "hidden.desktop") << "[Desktop Entry]\nType=Application\nHidden=true\n";
    EXPECT_TRUE(DesktopEntry::readGroup(folder / "hidden.desktop", "hidden"));
    EXPECT_EQ(DesktopEntry::read(folder / "hidden.desktop", "hidden"), std::nullopt);
    std::ofstream(folder / "fine.desktop") << "[Desktop Entry]\nType=Application\nExec=x\n";
    EXPECT_NE(DesktopEntry::read(folder / "fine.desktop", "fine"), std::nullopt);
}

}  // namespace
}  // namespace tarnwick
