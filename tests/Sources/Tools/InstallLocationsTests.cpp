#include "Tools/InstallLocations.h"
#include "support/TemporaryDirectory.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace tarnwick {
namespace {

namespace fs = std::filesystem;

// A home with ~/Applications (as AppImage users have), the system's /Applications absent, and
// the package folder where the Debian package puts the bundle.
TEST(InstallLocations, ThePackageFolderCountsAsInstalledBesideAnApplicationsFolder) {
    testing::TemporaryDirectory root;
    const fs::path home = root.path() / "home";
    const fs::path package = root.path() / "usr/lib/tarnwick";
    fs::create_directories(home / "Applications");
    fs::create_directories(package);
    fs::create_symlink(home / "Applications", root.path() / "linked");
    const InstallLocations locations{{home / "Applications", root.path() / "Applications"},
                                     {package}};
    ASSERT_EQ(locations.applicationsFolder(), fs::canonical(home / "Applications"));

    struct Row {
        const char* name;
        fs::path bundle;
        bool installed;
    };
    const std::vector<Row> rows = {
        {"package install", package / "Tarnwick.app", true},
        {"user's Applications", home / "Applications/Tarnwick.app", true},
        {"reached through a link", root.path() / "linked/Tarnwick.app", true},
        {"any folder named Applications", root.path() / "opt/Applications/Tarnwick.app", true},
        {"downloads", home / "Downloads/Tarnwick.app", false},
        {"a sibling of the package folder", root.path() / "usr/lib/tarnwick-old/Tarnwick.app",
         false},
        {"a folder named like Applications", home / "ApplicationsOld/Tarnwick.app", false},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        EXPECT_EQ(locations.isInstalled(row.bundle), row.installed);
    }
}

TEST(InstallLocations, WithoutAnApplicationsFolderAnyPlaceIsInstalled) {
    testing::TemporaryDirectory root;
    const InstallLocations locations{{root.path() / "missing"}, {}};
    EXPECT_FALSE(locations.applicationsFolder().has_value());
    EXPECT_FALSE(locations.isInPlace(root.path() / "Downloads/Tarnwick.app"));
    EXPECT_TRUE(locations.isInstalled(root.path() / "Downloads/Tarnwick.app"));
}

}  // namespace
}  // namespace tarnwick
