#include "AppMonitorTestSupport.h"
#include "Dispatch/DispatchGroup.h"
#include "Screens/AppMonitor/BinaryStringsParserImpl.h"
#include "Screens/AppMonitor/CodeSigningInfoModel.h"
#include "Screens/AppMonitor/LocalApplicationsScanner.h"
#include "Screens/AppMonitor/StringReadBudget.h"
#include "support/ElfFixture.h"
#include "support/SigningFixture.h"
#include "support/TemporaryDirectory.h"

#include <gtest/gtest.h>

#include <chrono>
#include <functional>
#include <future>
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

TEST(BinaryStringsParserTests, OneHostileExecutableTakesNoMoreThanItsGrant) {
    // Millions of the shortest strings, where each string's view outweighs its bytes many times.
    const auto repeated = [](const std::string& unit, std::size_t bytes) {
        std::string text;
        text.reserve(bytes + unit.size());
        while (text.size() < bytes) {
            text += unit;
        }
        return text;
    };
    const auto elfOf = [](std::string data) {
        ElfFixture fixture;
        fixture.sections = {{".rodata", 1, 0x2, std::move(data)}};
        return buildElf(fixture);
    };
    struct Row {
        const char* name;
        std::function<std::string()> executable;
        std::string first;
    };
    const Row rows[] = {
        {"an ELF of 32 MiB of \"é\"",
         [&] { return elfOf(repeated(std::string("\xC3\x89\0", 3), 32u << 20)); }, "\xC3\xA9"},
        // "İ" grows by a byte in lower case: it cannot stay where it lies.
        {"an ELF of 32 MiB of \"İ\"",
         [&] { return elfOf(repeated(std::string("\xC4\xB0\0", 3), 32u << 20)); }, "i\xCC\x87"},
        {"a Mach-O with 40 MiB of C strings",
         [&] {
             MachOFixtureImage image;
             image.cStrings = {repeated(std::string("Ab\0", 3), 40u << 20)};
             return buildThinMachO(image);
         },
         "ab"},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        TemporaryDirectory folder;
        const auto path = folder / "executable";
        writeFile(path, row.executable());
        const auto strings = BinaryStringsParserImpl::parseExecutable(path);
        ASSERT_FALSE(strings.empty());
        EXPECT_EQ(std::string(strings[0].substr(0, 16)), row.first);
        // The grant: the string data the readers take at most, and half as much again.
        EXPECT_LE(strings.memoryBytes(), BinaryStringsParserImpl::kMaximumStringBytes * 3 / 2);
    }
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

namespace tarnwick {
namespace {

using namespace tarnwick::testing;

TEST(LocalApplicationsScannerTests, CraftedBundlesNeitherBlockNorMislead) {
    TemporaryDirectory home;
    const auto applications = home / "Applications";
    std::filesystem::create_directories(applications);
    // The Info.plist, then the executable, as a FIFO, a link to a device and a folder.
    const auto plistPath = [&](const std::string& name) {
        BundleFixture bundle;
        bundle.name = name;
        bundle.info["CFBundleIdentifier"] = "com.example.plist";
        const auto folder = writeBundle(applications, bundle);
        std::filesystem::remove(folder / "Contents/Info.plist");
        return folder / "Contents/Info.plist";
    };
    ASSERT_EQ(::mkfifo(plistPath("FifoPlist.app").c_str(), 0600), 0);
    std::filesystem::create_symlink("/dev/zero", plistPath("ZeroPlist.app"));
    std::filesystem::create_directory(plistPath("FolderPlist.app"));
    const auto executablePath = [&](const std::string& name) {
        BundleFixture bundle;
        bundle.name = name;
        bundle.info["CFBundleIdentifier"] = "com.example." + name.substr(0, name.size() - 4);
        bundle.executable = executableWith({"https://inside.example.org/"});
        const auto folder = writeBundle(applications, bundle);
        const auto executable = folder / "Contents/MacOS" / std::filesystem::path(name).stem();
        std::filesystem::remove(executable);
        return executable;
    };
    ASSERT_EQ(::mkfifo(executablePath("FifoExe.app").c_str(), 0700), 0);
    std::filesystem::create_symlink("/dev/zero", executablePath("ZeroExe.app"));
    std::filesystem::create_directory(executablePath("FolderExe.app"));
    // An executable name that climbs out of Contents/MacOS reads nothing, not another program.
    writeFile(home / "outside", executableWith({"https://other.example.ru/"}));
    for (const std::string& escape :
         {std::string("../../../outside"), (home / "outside").string()}) {
        BundleFixture bundle;
        bundle.name = escape.front() == '/' ? "Absolute.app" : "Climbing.app";
        bundle.info["CFBundleIdentifier"] = "com.example.escape";
        bundle.info["CFBundleExecutable"] = escape;
        writeBundle(applications, bundle);
    }

    const LocalApplicationsScanner scanner({applications, home / "none"});
    std::promise<LocalApplicationsScanner::Applications> found;
    scanner.scan({LocalApplicationsScanner::ScanLocation::rootApplicationsFolder()},
                 [&](auto scanned) { found.set_value(std::move(scanned)); });
    auto result = found.get_future();
    if (result.wait_for(std::chrono::seconds(20)) != std::future_status::ready) {
        ADD_FAILURE() << "the scan did not finish";
        std::abort();  // a blocked reader would hang the suite
    }
    std::vector<std::string> titles;
    for (const auto& application : result.get()) {
        titles.push_back(application->title());
        EXPECT_TRUE(BinaryStringsParserImpl().parse(application->bundleURL()).empty());
        EXPECT_FALSE(CodeSigningInfoModel(application->bundleURL().string()).status());
    }
    EXPECT_EQ(titles, (std::vector<std::string>{"Absolute", "Climbing", "FifoExe", "FolderExe",
                                                "ZeroExe"}));
}

}  // namespace
}  // namespace tarnwick

namespace tarnwick {
namespace {

TEST(StringReadBudgetTests, AReadWaitsForMemoryAndAnOversizedOneStillRuns) {
    StringReadBudget budget(100);
    auto first = budget.acquire(60);
    auto oversized = std::async(std::launch::async, [&] { return budget.acquire(1000); });
    EXPECT_EQ(oversized.wait_for(std::chrono::milliseconds(50)), std::future_status::timeout);
    auto copy = first;  // the memory is the list's, however many hold it
    first.reset();
    EXPECT_EQ(oversized.wait_for(std::chrono::milliseconds(50)), std::future_status::timeout);
    copy.reset();
    ASSERT_EQ(oversized.wait_for(std::chrono::seconds(10)), std::future_status::ready);
    auto whole = oversized.get();
    EXPECT_EQ(budget.inUse(), 100u);
    whole.reset();
    EXPECT_EQ(budget.inUse(), 0u);
}

}  // namespace
}  // namespace tarnwick
