#include "AppMonitorTestSupport.h"
#include "Dispatch/DispatchGroup.h"
#include "Screens/AppMonitor/BinaryStringsParserImpl.h"
#include "Screens/AppMonitor/CodeSigningInfoModel.h"
#include "Screens/AppMonitor/LocalApplicationsScanner.h"
#include "support/SigningFixture.h"
#include "support/TemporaryDirectory.h"

#include <gtest/gtest.h>

#include <sys/stat.h>

namespace tarnwick {
namespace {

using namespace tarnwick::testing;

std::filesystem::path bundleWith(const std::filesystem::path& folder, std::string executable) {
    BundleFixture bundle;
    bundle.info["CFBundleIdentifier"] = "com.example.tool";
    bundle.executable = std::move(executable);
    return writeBundle(folder, bundle);
}

TEST(BinaryStringsParserTests, ReadsTheRightSliceLowerCased) {
    MachOFixtureImage intel;
    intel.cStrings = {"HTTPS://Intel.Example.RU/", "Ünïcode ПРИВЕТ", std::string("bad \xff byte")};
    MachOFixtureImage arm;
    arm.cputype = 0x0100000c;
    arm.cStrings = {"https://arm.example.ru/"};
    MachOFixtureImage none;
    none.sectionName = "__const";
    struct Case {
        const char* name;
        std::string executable;
        std::vector<std::string> expected;
    };
    const std::vector<std::string> intelStrings = {"https://intel.example.ru/", "ünïcode привет"};
    const Case cases[] = {
        {"thin", buildThinMachO(intel), intelStrings},
        {"universal: the x86-64 slice",
         buildFatMachO(
             {{arm.cputype, buildThinMachO(arm)}, {intel.cputype, buildThinMachO(intel)}}),
         intelStrings},
        {"universal without x86-64: its first slice",
         buildFatMachO({{arm.cputype, buildThinMachO(arm)}}),
         {"https://arm.example.ru/"}},
        {"no C-string section", buildThinMachO(none), {}},
        {"not an executable", "#!/bin/sh\n", {}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        TemporaryDirectory folder;
        EXPECT_EQ(
            BinaryStringsParserImpl().parse(bundleWith(folder.path(), c.executable)).toStrings(),
            c.expected);
    }
    TemporaryDirectory empty;
    EXPECT_TRUE(BinaryStringsParserImpl().parse(empty / "Missing.app").empty());
}

TEST(CodeSigningInfoModelTests, TeamAndCertificateCountries) {
    const CertificateChain chain({{{"RU"}, "Developer ID Application: Sample", "ABCDE12345"},
                                  {{"US"}, "Intermediate", std::nullopt},
                                  {{"US"}, "Root", std::nullopt}});
    CodeDirectorySpec spec;
    spec.teamIdentifier = "ABCDE12345";
    MachOFixtureImage identity;
    identity.codeSignature = buildIdentitySignature(chain, spec);
    MachOFixtureImage adHoc;
    adHoc.codeSignature = buildAdHocSignature("com.example.tool");

    TemporaryDirectory folder;
    const CodeSigningInfoModel developer(
        bundleWith(folder / "a", buildThinMachO(identity)).string());
    ASSERT_TRUE(developer.status());
    EXPECT_EQ(developer.status()->teamId(), "ABCDE12345");
    EXPECT_EQ(developer.status()->certificatesOrigins(),
              (std::vector<std::string>{"RU", "US", "US"}));

    const CodeSigningInfoModel adHocModel(bundleWith(folder / "b", buildThinMachO(adHoc)).string());
    ASSERT_TRUE(adHocModel.status());
    EXPECT_EQ(adHocModel.status()->teamId(), std::nullopt);
    EXPECT_TRUE(adHocModel.status()->certificatesOrigins().empty());

    EXPECT_FALSE(CodeSigningInfoModel((folder / "missing.app").string()).status());
    EXPECT_FALSE(
        CodeSigningInfoModel(bundleWith(folder / "c", buildThinMachO({})).string()).status());
}

LocalApplicationsScanner::Applications scan(
    const LocalApplicationsScanner& scanner,
    std::vector<LocalApplicationsScanner::ScanLocation> at) {
    DispatchGroup done;
    done.enter();
    LocalApplicationsScanner::Applications found;
    scanner.scan(std::move(at), [&](auto applications) {
        EXPECT_TRUE(scanner.internalQueue()->isCurrent());
        found = std::move(applications);
        done.leave();
    });
    EXPECT_TRUE(done.wait(std::chrono::seconds(30)));
    return found;
}

TEST(LocalApplicationsScannerTests, ListsTopLevelBundlesOfBothFolders) {
    TemporaryDirectory home;
    const auto applications = home / "Applications";
    const auto downloads = home / "Downloads";
    const auto bundle = [](std::string name, Value::Dictionary info, bool binary = false,
                           std::vector<std::string> languages = {}) {
        BundleFixture fixture;
        fixture.name = std::move(name);
        fixture.info = std::move(info);
        fixture.binaryInfo = binary;
        fixture.localizations = std::move(languages);
        return fixture;
    };
    writeBundle(applications, bundle("Foo.Bar.app",
                                     {{"CFBundleIdentifier", "com.foo.bar"},
                                      {"SUFeedURL", "https://updates.foo.example/appcast.xml"},
                                      {"NSHumanReadableCopyright", "© Foo"}},
                                     true, {"ru", "en", "Base"}));
    writeBundle(applications, bundle("Shared.app", {{"CFBundleIdentifier", "com.shared"},
                                                    {"SUFeedURL", "not a url"},
                                                    {"NSHumanReadableCopyright", 42}}));
    writeBundle(applications, bundle(".Hidden.app", {{"CFBundleIdentifier", "com.hidden"}}));
    writeBundle(applications / "Vendor", bundle("Nested.app", {{"CFBundleIdentifier", "com.n"}}));
    writeBundle(applications, bundle("NoIdentifier.app", {{"CFBundleName", "x"}}));
    std::filesystem::create_directories(applications / "Empty.app");  // no Contents
    std::filesystem::create_symlink(home / "nowhere", applications / "Dangling.app");
    writeBundle(downloads, bundle("Shared.app", {{"CFBundleIdentifier", "com.shared"}}));

    const LocalApplicationsScanner scanner({applications, downloads});
    const auto found =
        scan(scanner, {LocalApplicationsScanner::ScanLocation::rootApplicationsFolder(),
                       LocalApplicationsScanner::ScanLocation::userDownloadsFolder()});
    ASSERT_EQ(found.size(), 3u);
    EXPECT_EQ(found[0]->title(), "Foo.Bar");
    EXPECT_EQ(found[0]->bundleID(), "com.foo.bar");
    EXPECT_EQ(found[0]->feedURL(), "https://updates.foo.example/appcast.xml");
    EXPECT_EQ(found[0]->copyrightString(), "© Foo");
    EXPECT_EQ(found[0]->localizations(), (std::vector<std::string>{"Base", "en", "ru"}));
    EXPECT_EQ(found[0]->imageURL(), found[0]->bundleURL());
    EXPECT_EQ(found[1]->title(), "Shared");
    EXPECT_EQ(found[1]->feedURL(), std::nullopt);
    EXPECT_EQ(found[1]->copyrightString(), std::nullopt);
    EXPECT_EQ(found[2]->bundleURL(), downloads / "Shared.app");  // once per folder

    // A missing folder adds nothing and takes nothing away.
    const LocalApplicationsScanner missingDownloads({applications, home / "Nope"});
    EXPECT_EQ(
        scan(missingDownloads, {LocalApplicationsScanner::ScanLocation::rootApplicationsFolder(),
                                LocalApplicationsScanner::ScanLocation::userDownloadsFolder()})
            .size(),
        2u);
}

TEST(LocalApplicationsScannerTests, AnUnreadableEntryIsSkippedAlone) {
    TemporaryDirectory folder;
    BundleFixture good;
    good.name = "Good.app";
    good.info["CFBundleIdentifier"] = "com.good";
    writeBundle(folder.path(), good);
    BundleFixture locked = good;
    locked.name = "Locked.app";
    const auto lockedPath = writeBundle(folder.path(), locked);
    ::chmod(lockedPath.c_str(), 0);

    const LocalApplicationsScanner scanner;
    const auto found =
        scanner.applications(LocalApplicationsScanner::ScanLocation::custom(folder.path()));
    ::chmod(lockedPath.c_str(), 0755);
    ASSERT_FALSE(found.empty());
    EXPECT_EQ(found[0]->title(), "Good");
    // Root reads the locked bundle too; anyone else skips it.
    EXPECT_EQ(found.size(), ::geteuid() == 0 ? 2u : 1u);
}

}  // namespace
}  // namespace tarnwick
