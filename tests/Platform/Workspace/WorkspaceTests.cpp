#include "FakeProcesses.h"
#include "Workspace/Workspace.h"

#include <gtest/gtest.h>

#include <unistd.h>

namespace tarnwick {
namespace {

using testing::FakeProcesses;

struct Listed {
    pid_t pid;
    std::string identifier;
    std::string name;
    bool operator==(const Listed&) const = default;
};

std::ostream& operator<<(std::ostream& stream, const Listed& listed) {
    return stream << listed.pid << " " << listed.identifier << " " << listed.name;
}

std::vector<Listed> listed(const Workspace& workspace) {
    std::vector<Listed> result;
    for (const auto& application : workspace.runningApplications()) {
        result.push_back({application.processIdentifier, application.bundleIdentifier.value_or("-"),
                          application.localizedName.value_or("-")});
    }
    return result;
}

TEST(Workspace, ListsBundledAndDesktopApplicationsInProcessOrder) {
    FakeProcesses fake;
    const auto editor = fake.bundle("Editor", {{"CFBundleIdentifier", Value("org.example.Editor")},
                                               {"CFBundleName", Value("Editor")},
                                               {"CFBundleDisplayName", Value("Example Editor")}});
    const auto anonymous = fake.bundle("Nameless", {{"CFBundleName", Value("Nameless")}});
    const auto viewer = fake.program("viewer");
    const auto plain = fake.program("plain");
    fake.entry(fake.systemEntries(), "org.example.Viewer.desktop",
               "[Desktop Entry]\nType=Application\nName=Viewer\nName[de]=Betrachter\n"
               "Exec=viewer %U\n");

    fake.process(10, editor.string());
    fake.process(9, viewer.string() + " (deleted)");  // replaced on disk while running
    fake.process(11, plain.string());                 // no entry starts it
    fake.process(12, anonymous.string());             // a bundle without identifier
    fake.process(13, "/nowhere/gone");
    std::filesystem::create_directories(fake.processRoot() / "self");
    std::filesystem::create_directories(fake.processRoot() / "14");  // exe not readable

    Workspace workspace(fake.configuration());
    const auto applications = workspace.runningApplications();
    EXPECT_EQ(listed(workspace),
              (std::vector<Listed>{{9, "org.example.Viewer", "Viewer"},
                                   {10, "org.example.Editor", "Example Editor"}}));
    ASSERT_EQ(applications.size(), 2U);
    EXPECT_EQ(applications[1].bundleURL, editor.parent_path().parent_path().parent_path());
    EXPECT_EQ(applications[1].executableURL, editor);
    EXPECT_EQ(applications[0].executableURL, viewer);
    EXPECT_EQ(applications[0].bundleURL, std::nullopt);

    Workspace german(fake.configuration("de_DE.UTF-8"));
    EXPECT_EQ(german.runningApplications().at(0).localizedName, "Betrachter");
}

TEST(Workspace, DesktopEntriesOfTheUserWinAndHiddenOnesAreDeleted) {
    FakeProcesses fake;
    const auto tool = fake.program("tool");
    const auto other = fake.program("other");
    const auto shell = fake.program("sh");
    fake.entry(fake.systemEntries(), "vendor/tool.desktop",
               "[Desktop Entry]\nType=Application\nName=System Tool\nExec=tool\n");
    fake.entry(fake.userEntries(), "vendor/tool.desktop",
               "[Desktop Entry]\nType=Application\nName=My Tool\nExec=tool\n");
    fake.entry(fake.systemEntries(), "other.desktop",
               "[Desktop Entry]\nType=Application\nName=Other\nExec=other\n");
    fake.entry(fake.userEntries(), "other.desktop",
               "[Desktop Entry]\nType=Application\nHidden=true\n");
    // An entry that starts its program through a shell claims no shell process.
    fake.entry(fake.systemEntries(), "wrapped.desktop",
               "[Desktop Entry]\nType=Application\nName=Wrapped\nExec=sh -c \"tool --x\"\n");
    fake.process(1, tool.string());
    fake.process(2, other.string());
    fake.process(3, shell.string());
    Workspace workspace(fake.configuration());
    EXPECT_EQ(listed(workspace), (std::vector<Listed>{{1, "vendor-tool", "My Tool"}}));
}

TEST(Workspace, NewEntriesAreNoticed) {
    FakeProcesses fake;
    const auto tool = fake.program("tool");
    fake.process(1, tool.string());
    Workspace workspace(fake.configuration());
    EXPECT_TRUE(workspace.runningApplications().empty());
    fake.entry(fake.userEntries(), "tool.desktop",
               "[Desktop Entry]\nType=Application\nName=Tool\nExec=\"" + tool.string() + "\"\n");
    EXPECT_EQ(listed(workspace), (std::vector<Listed>{{1, "tool", "Tool"}}));
}

TEST(Workspace, SeesThisVeryProcessWhenItsEntryExists) {
    FakeProcesses fake;
    std::error_code error;
    const auto self = std::filesystem::read_symlink("/proc/self/exe", error);
    ASSERT_FALSE(error);
    fake.entry(fake.userEntries(), "org.example.Tests.desktop",
               "[Desktop Entry]\nType=Application\nName=Tests\nExec=" + self.string() + "\n");
    auto configuration = fake.configuration();
    configuration.processRoot = "/proc";
    Workspace workspace(configuration);
    bool found = false;
    for (const auto& application : workspace.runningApplications()) {
        found = found || application.processIdentifier == ::getpid();
    }
    EXPECT_TRUE(found);
}

}  // namespace
}  // namespace tarnwick
