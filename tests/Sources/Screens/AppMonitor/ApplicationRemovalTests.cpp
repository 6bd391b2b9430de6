#include "Screens/AppMonitor/ApplicationRemoval.h"

#include <gtest/gtest.h>

namespace tarnwick {
namespace {

using Kind = ApplicationOrigin::Kind;
using Arguments = std::vector<std::string>;

// Records what would run and answers with an exit status.
struct FakeRunner {
    int exitStatus = 0;
    std::string standardError;
    std::vector<Arguments> ran;

    CommandRunner runner() {
        return [this](const ProcessRequest& request) -> ProcessResult {
            ran.push_back(request.arguments);
            ProcessOutcome outcome;
            outcome.exitStatus = exitStatus;
            outcome.standardError = standardError;
            return outcome;
        };
    }
};

TEST(ApplicationRemovalTests, EachKindRunsItsOwnCommandAsAVector) {
    struct Case {
        const char* name;
        ApplicationOrigin origin;
        Arguments expected;  // empty: refused without running anything
    };
    const Case cases[] = {
        {"flatpak, system",
         {Kind::flatpak, "org.example.Flat", false, "/x"},
         {"flatpak", "uninstall", "--noninteractive", "--system", "org.example.Flat"}},
        {"flatpak, user",
         {Kind::flatpak, "org.example.Flat", true, "/x"},
         {"flatpak", "uninstall", "--noninteractive", "--user", "org.example.Flat"}},
        {"snap",
         {Kind::snap, "editor", false, "/x"},
         {"pkexec", "/usr/bin/snap", "remove", "editor"}},
        {"debian package",
         {Kind::debianPackage, "ru-tool", false, "/x"},
         {"pkexec", "/usr/bin/apt-get", "remove", "--yes", "ru-tool"}},
        {"appimage",
         {Kind::appImage, "", false, "/home/u/Downloads/My Tool;rm -rf.AppImage"},
         {"gio", "trash", "/home/u/Downloads/My Tool;rm -rf.AppImage"}},
        {"a package name that is an option", {Kind::debianPackage, "--purge", false, "/x"}, {}},
        {"a flatpak ID with a path in it", {Kind::flatpak, "org.x/../../y", false, "/x"}, {}},
        {"a snap without a name", {Kind::snap, "", false, "/x"}, {}},
        {"a relative AppImage", {Kind::appImage, "", false, "Downloads/x.AppImage"}, {}},
        {"an entry nothing installed", {Kind::desktopEntry, "", false, "/x.desktop"}, {}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        FakeRunner fake;
        const auto removed = ApplicationRemoval::remove("Tool", c.origin, fake.runner());
        EXPECT_EQ(removed.ok(), !c.expected.empty());
        if (c.expected.empty()) {
            EXPECT_TRUE(fake.ran.empty());
            EXPECT_FALSE(removed.error().empty());
        } else {
            EXPECT_EQ(fake.ran, std::vector<Arguments>{c.expected});
        }
    }
}

TEST(ApplicationRemovalTests, RefusalsAndFailuresSaySo) {
    FakeRunner refused{126, "", {}};
    auto removed = ApplicationRemoval::remove("Tool", {Kind::debianPackage, "ru-tool", false, "/x"},
                                              refused.runner());
    ASSERT_FALSE(removed);
    EXPECT_EQ(removed.error(),
              "Could not remove \u201cTool\u201d: no administrator's password was given. Nothing "
              "was removed.");

    // No prompt was ever shown: the user is told why, not that they gave no password.
    FakeRunner noAuthority{127,
                           "Error getting authority: Error initializing authority: Could not "
                           "connect: No such file or directory\n",
                           {}};
    removed = ApplicationRemoval::remove("Tool", {Kind::snap, "editor", false, "/x"},
                                         noAuthority.runner());
    ASSERT_FALSE(removed);
    EXPECT_EQ(removed.error(),
              "Could not remove “Tool”: no administrator's password could be asked for, "
              "because the system's authorisation service or its password prompt is not running "
              "(Error getting authority: Error initializing authority: Could not connect: No such "
              "file or directory). Nothing was removed.");

    FakeRunner failing{1, "error: org.example.Flat/x86_64/stable not installed", {}};
    removed = ApplicationRemoval::remove("Flat", {Kind::flatpak, "org.example.Flat", true, "/x"},
                                         failing.runner());
    ASSERT_FALSE(removed);
    EXPECT_EQ(removed.error(),
              "Could not remove \u201cFlat\u201d: error: org.example.Flat/x86_64/stable not "
              "installed");
}

TEST(ApplicationRemovalTests, TheConfirmationNamesWhatGoes) {
    EXPECT_EQ(ApplicationRemoval::confirmation("Tool", {Kind::debianPackage, "ru-tool", false, {}}),
              "Remove the package \u201cru-tool\u201d, which installed \u201cTool\u201d? Packages "
              "that depend on it go too. You will be asked for an administrator's password.");
    EXPECT_EQ(ApplicationRemoval::confirmation(
                  "Tool", {Kind::appImage, "", false, "/home/u/Downloads/Tool.AppImage"}),
              "Move \u201cTool.AppImage\u201d to the trash?");
}

}  // namespace
}  // namespace tarnwick
