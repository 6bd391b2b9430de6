#include "Foundation/PropertyList.h"
#include "Tools/BundleUtilities.h"
#include "support/TemporaryDirectory.h"

#include <gtest/gtest.h>

namespace tarnwick {
namespace {

using testing::TemporaryDirectory;

Bundle makeBundle(const std::filesystem::path& path, Value::Dictionary info) {
    std::filesystem::create_directories(path / "Contents");
    testing::writeFile(path / "Contents" / "Info.plist",
                       PropertyList::toXml(Value(std::move(info))));
    return Bundle(path);
}

TEST(BundleUtilities, QueueLabelsAreQualifiedByTheBundleIdentifier) {
    TemporaryDirectory folder;
    const auto named = makeBundle(folder / "Tarnwick.app",
                                  {{"CFBundleIdentifier", Value("com.brenlow-works.corvid")}});
    const auto anonymous = makeBundle(folder / "Other.app", {{"CFBundleName", Value("Other")}});
    EXPECT_EQ(bundleQualifiedLabel("app-scanner", named), "com.brenlow-works.corvid.app-scanner");
    EXPECT_EQ(bundleQualifiedLabel("app-scanner", anonymous), "app-scanner");
    EXPECT_EQ(bundleQualifiedLabel("domain-info", Bundle(folder / "missing")), "domain-info");
}

TEST(BundleUtilities, ApplicationsFolderTest) {
    const std::vector<std::string> directories = {"/home/me/Applications", "/Applications",
                                                  "/Network/Applications", "/System/Applications"};
    struct Row {
        const char* path;
        bool inside;
    };
    for (const auto& row :
         {Row{"/Applications/Utilities/X.app", true}, Row{"/Volumes/Disk/Applications/X.app", true},
          Row{"/ApplicationsOld/X.app", true},  // a plain text prefix
          Row{"/home/me/Applications/X.app", true}, Row{"/Users/me/Downloads/X.app", false},
          Row{"/opt/applications/X.app", false}, Row{"/opt/MyApplications/X.app", false}}) {
        SCOPED_TRACE(row.path);
        EXPECT_EQ(isInApplicationsFolder(Bundle(row.path), directories), row.inside);
    }
    const auto defaults = applicationDirectories();
    EXPECT_EQ(defaults.size(), 4U);
    EXPECT_EQ(defaults.back(), "/System/Applications");
    EXPECT_TRUE(defaults.front().ends_with("/Applications"));
}

TEST(BundleUtilities, BetaVersionText) {
    TemporaryDirectory folder;
    const auto beta = makeBundle(
        folder / "A.app", {{"CFBundleShortVersionString", Value("3.0")}, {"IsBeta", Value("YES")}});
    const auto notBeta = makeBundle(
        folder / "B.app", {{"CFBundleShortVersionString", Value("3.0")}, {"IsBeta", Value("yes")}});
    EXPECT_EQ(versionText(beta), "3.0-beta");
    EXPECT_EQ(versionText(notBeta), "3.0");
}

}  // namespace
}  // namespace tarnwick
