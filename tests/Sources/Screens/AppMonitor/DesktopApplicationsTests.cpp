#include "AppMonitorTestSupport.h"
#include "Screens/AppMonitor/BinaryStringsParserImpl.h"
#include "Screens/AppMonitor/DesktopApplicationsFinder.h"
#include "Screens/AppMonitor/LocalApplicationsAnalyserImpl.h"
#include "Screens/AppMonitor/LocalApplicationsScanner.h"
#include "Workspace/DesktopEntry.h"
#include "support/ElfFixture.h"
#include "support/TemporaryDirectory.h"

#include <gtest/gtest.h>

#include <chrono>
#include <future>
#include <map>
#include <sys/stat.h>
#include <zlib.h>

namespace tarnwick {
namespace {

using namespace tarnwick::testing;
using Kind = ApplicationOrigin::Kind;

const std::filesystem::path kRuClient = TEST_RU_CLIENT;

std::string entry(const std::string& keys) {
    return "# written by hand\n[Desktop Entry]\nType=Application\n" + keys +
           "\n[Desktop Action New]\nName=Not this one\nExec=/bin/false\n";
}

void writeGzip(const std::filesystem::path& path, const std::string& text) {
    std::filesystem::create_directories(path.parent_path());
    gzFile file = gzopen(path.c_str(), "wb");
    ASSERT_NE(file, nullptr);
    EXPECT_EQ(gzwrite(file, text.data(), static_cast<unsigned>(text.size())),
              static_cast<int>(text.size()));
    gzclose(file);
}

void copyExecutable(const std::filesystem::path& to) {
    std::filesystem::create_directories(to.parent_path());
    std::filesystem::copy_file(kRuClient, to);
    std::filesystem::permissions(to, std::filesystem::perms::owner_all);
}

// A desktop under one temporary folder: the user's data folder, the system's, a Flatpak
// installation and Snap's exports, dpkg's lists and documentation, a program folder on the search
// path and an AppImage folder.
class Desktop {
public:
    Desktop() {
        m_folders.dataHome = m_root / "home-share";
        // Written with a trailing separator, as a user's XDG_DATA_DIRS may be.
        m_folders.dataDirs = {m_root / "usr-share", m_root / "flatpak/exports/share/",
                              m_root / "snapd/desktop"};
        m_folders.appImageFolders = {m_root / "Applications", m_root / "Downloads"};
        m_folders.path = {m_root / "no-such-bin", m_root / "bin"};
        m_folders.dpkgInfo = m_root / "dpkg-info";
        m_folders.documentation = m_root / "doc";
        for (const auto& folder :
             {"home-share/applications", "usr-share/applications/kde", "usr-share/metainfo",
              "flatpak/exports/share/applications", "snapd/desktop/applications", "Applications",
              "Downloads", "dpkg-info", "doc/ru-tool"}) {
            std::filesystem::create_directories(m_root / folder);
        }
    }

    void write(const std::string& relative, const std::string& text) const {
        writeFile(m_root / relative, text);
    }
    std::filesystem::path operator/(const std::string& relative) const { return m_root / relative; }

    LocalApplicationsScanner::Applications scan() const {
        LocalApplicationsScanner::Folders folders{m_root / "no-apps", m_root / "no-downloads",
                                                  m_folders};
        const LocalApplicationsScanner scanner(folders);
        std::promise<LocalApplicationsScanner::Applications> found;
        scanner.scan({LocalApplicationsScanner::ScanLocation::rootApplicationsFolder(),
                      LocalApplicationsScanner::ScanLocation::desktopApplications(),
                      LocalApplicationsScanner::ScanLocation::appImages()},
                     [&](auto applications) { found.set_value(std::move(applications)); });
        auto result = found.get_future();
        // A crafted file that blocks the scan fails here instead of hanging the suite.
        if (result.wait_for(std::chrono::seconds(20)) != std::future_status::ready) {
            ADD_FAILURE() << "the scan did not finish";
            std::abort();
        }
        return result.get();
    }

    // The usual desktop: one application of each kind, and entries a desktop would not list.
    void populate() const {
        copyExecutable(m_root / "bin/ru-client");
        write("home-share/applications/ru-client.desktop",
              entry("Name=RuClient\nName[ru]=Клиент\nExec=ru-client --open %U"));
        write("home-share/applications/masked.desktop", entry("Name=Masked\nHidden=true"));
        write("usr-share/applications/masked.desktop", entry("Name=Masked\nExec=/bin/true"));
        write("usr-share/applications/quiet.desktop", entry("Name=Quiet\nNoDisplay=true"));
        write("usr-share/applications/site.desktop",
              "[Desktop Entry]\nType=Link\nName=Site\nURL=https://example.org/\n");
        write("usr-share/applications/kde/tool.desktop",
              entry("Name=Tool\nTryExec=" + kRuClient.string() + "\nExec=missing-tool"));
        write("dpkg-info/ru-tool:amd64.list",
              "/.\n/usr/bin/tool\n" +
                  (m_root / "usr-share/applications/kde/tool.desktop").string() + "\n");
        write("doc/ru-tool/copyright",
              "Format: https://www.debian.org/doc/packaging-manuals/copyright-format/1.0/\n\n"
              "Files: *\nCopyright: 2021 Tool Authors, https://tool.example.ru/\n"
              "Copyright: 2022 Someone Else\n");
        write("usr-share/applications/org.example.Viewer.desktop",
              entry("Name=Viewer\nExec=viewer-not-installed %f"));
        write("usr-share/metainfo/org.example.Viewer.metainfo.xml", R"(<?xml version="1.0"?>
<component type="desktop-application">
  <id>org.example.Viewer</id>
  <name>Viewer Pro</name>
  <name xml:lang="ru">Просмотрщик</name>
  <summary>Views pictures</summary>
  <description><p>A viewer.</p><p>Fast.</p></description>
  <developer_name>Studio example.ru</developer_name>
  <url type="homepage">https://viewer.example.ru/about</url>
  <launchable type="desktop-id">org.example.Viewer.desktop</launchable>
  <languages><lang percentage="100">ru_RU</lang></languages>
</component>
)");
        write("flatpak/exports/share/applications/org.example.Flat.desktop",
              entry("Name=Flat\nX-Flatpak=org.example.Flat\nExec=/usr/bin/flatpak run "
                    "--branch=stable --command=flat org.example.Flat @@u %u @@"));
        copyExecutable(m_root / "flatpak/app/org.example.Flat/current/active/files/bin/flat");
        // Flatpak's catalog of its remote, compressed as Flatpak keeps it.
        writeGzip(m_root / "flatpak/appstream/flathub/x86_64/active/appstream.xml.gz",
                  R"(<?xml version="1.0"?>
<components version="0.14" origin="flathub">
  <component type="desktop-application">
    <id>org.example.Flat</id>
    <name>Flat Studio</name>
    <summary>Edits flats</summary>
    <developer_name>Flat Makers</developer_name>
    <url type="homepage">https://flat.example.org/</url>
  </component>
</components>
)");
        write("snapd/desktop/applications/editor_editor.desktop",
              entry("Name=Editor\nX-SnapInstanceName=editor\nExec=env "
                    "BAMF_DESKTOP_FILE_HINT=x /snap/bin/editor %F"));
        write("Downloads/Tool-x86_64.AppImage",
              buildElf({true,
                        false,
                        true,
                        {{".rodata", 1, 0x2, std::string("https://update.example.ru/") + '\0'}}}));
        write("Downloads/plain-elf", buildElf({}));
        write("Downloads/notes.txt", "AI\x02 not an executable");
    }

private:
    TemporaryDirectory m_root;
    DesktopApplicationsFinder::Folders m_folders;
};

TEST(DesktopApplicationsTests, FindsEachKindWithItsEvidence) {
    Desktop desktop;
    desktop.populate();
    std::map<std::string, std::shared_ptr<LocalApplication>> byID;
    std::vector<std::string> order;
    for (auto& application : desktop.scan()) {
        order.push_back(application->bundleID());
        byID[application->bundleID()] = application;
    }
    // User's folder first, then the system's by name, Flatpak, Snap, then AppImages.
    EXPECT_EQ(order,
              (std::vector<std::string>{"ru-client", "kde-tool", "org.example.Viewer",
                                        "org.example.Flat", "editor_editor", "Tool-x86_64"}));
    struct Expected {
        std::string id;
        std::string title;
        ApplicationOrigin origin;
        std::filesystem::path code;
        std::optional<std::string> copyright;
        std::vector<std::string> localizations;
    };
    const Expected expected[] = {
        {"ru-client",
         "RuClient",
         {Kind::desktopEntry, "", false, desktop / "home-share/applications/ru-client.desktop"},
         desktop / "bin/ru-client",
         std::nullopt,
         {}},
        {"kde-tool",
         "Tool",
         {Kind::debianPackage, "ru-tool", false,
          desktop / "usr-share/applications/kde/tool.desktop"},
         kRuClient,
         "2021 Tool Authors, https://tool.example.ru/",
         {}},
        {"org.example.Viewer",
         "Viewer",
         {Kind::desktopEntry, "", false,
          desktop / "usr-share/applications/org.example.Viewer.desktop"},
         {},
         "Studio example.ru",
         {"ru"}},
        {"org.example.Flat",
         "Flat",
         {Kind::flatpak, "org.example.Flat", false,
          desktop / "flatpak/exports/share/applications/org.example.Flat.desktop"},
         desktop / "flatpak/app/org.example.Flat/current/active/files/bin/flat",
         "Flat Makers",
         {}},
        {"editor_editor",
         "Editor",
         {Kind::snap, "editor", false,
          desktop / "snapd/desktop/applications/editor_editor.desktop"},
         {},
         std::nullopt,
         {}},
        {"Tool-x86_64",
         "Tool-x86_64",
         {Kind::appImage, "", false, desktop / "Downloads/Tool-x86_64.AppImage"},
         desktop / "Downloads/Tool-x86_64.AppImage",
         std::nullopt,
         {}},
    };
    for (const auto& e : expected) {
        SCOPED_TRACE(e.id);
        ASSERT_TRUE(byID.count(e.id));
        const auto& app = *byID[e.id];
        EXPECT_EQ(app.title(), e.title);
        EXPECT_EQ(app.origin(), e.origin);
        EXPECT_EQ(app.codeURL(), e.code);
        EXPECT_EQ(app.copyrightString(), e.copyright);
        EXPECT_EQ(app.localizations(), e.localizations);
        EXPECT_FALSE(app.mayCarryCodeSignature());
    }
    // The catalog's record stands in for the store's.
    const auto& viewer = *byID["org.example.Viewer"];
    ASSERT_TRUE(viewer.appStoreInfo());
    EXPECT_EQ(viewer.appStoreInfo()->title, "Viewer Pro");
    EXPECT_EQ(viewer.appStoreInfo()->bundleID, "org.example.Viewer");
    EXPECT_EQ(viewer.appStoreInfo()->description, "Views pictures\nA viewer.\nFast.");
    EXPECT_EQ(viewer.appStoreInfo()->sellerUrl, "https://viewer.example.ru/about");
    EXPECT_EQ(viewer.appStoreInfo()->sellerName, "Studio example.ru");
    EXPECT_EQ(viewer.appStoreInfo()->languageCodesISO2A, (std::vector<std::string>{"ru"}));
    EXPECT_EQ(viewer.feedURL(), "https://viewer.example.ru/about");
    ASSERT_TRUE(byID["org.example.Flat"]->appStoreInfo());
    EXPECT_EQ(byID["org.example.Flat"]->appStoreInfo()->title, "Flat Studio");
    EXPECT_FALSE(byID["ru-client"]->appStoreInfo());
}

TEST(DesktopApplicationsTests, AShellWrapperNamesItsProgramNeverTheShell) {
    struct Row {
        const char* exec;
        std::optional<std::string> program;
    };
    const Row rows[] = {
        {"foo-ui --open %U", "foo-ui"},
        {"env A=1 B=2 /opt/foo/bin/foo-ui", "/opt/foo/bin/foo-ui"},
        {"env -u DISPLAY foo-ui", "foo-ui"},
        // A wrapper that stops the running copy first still starts the application last.
        {"/bin/sh -c \"pkill -15 foo-ui; foo-ui\"", "foo-ui"},
        {"sh -c \"updater --check\"", "updater"},
        {"bash -lc \"cd /opt/foo && exec /opt/foo/run >/dev/null 2>&1\"", "/opt/foo/run"},
        {"dash -e -c \"GDK_BACKEND=x11 foo-ui %f\"", "foo-ui"},
        {"sh -c \"foo-ui 2>&1 | logger -t foo\"", "foo-ui"},
        {"sh -c \"foo-ui &> /tmp/log\"", "foo-ui"},
        {"sh -c \"foo-ui || notify-send failed # comment\"", "foo-ui"},
        {"sh -c \"foo-ui; # comment\nbar-ui\"", "bar-ui"},
        {"/usr/bin/env sh -c \"env A=1 sh -c 'foo-ui'\"", "foo-ui"},
        {"sh -c \"\\\"\\$HOME/bin/foo-ui\\\"\"", std::nullopt},
        {"sh -c \"$(cat /etc/foo)\"", std::nullopt},
        {"sh /opt/foo/start.sh", std::nullopt},
        {"sh -c", std::nullopt},
        {"bash", std::nullopt},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.exec);
        const auto arguments = DesktopEntry::execArguments(row.exec);
        ASSERT_TRUE(arguments);
        EXPECT_EQ(DesktopApplicationsFinder::execProgram(*arguments), row.program);
    }

    // Through the search path as any program, and with none found no executable at all.
    Desktop desktop;
    copyExecutable(desktop / "bin/ru-client");
    desktop.write("home-share/applications/wrapped.desktop",
                  entry("Name=Wrapped\nExec=/bin/sh -c \"pkill -15 ru-client; ru-client\""));
    desktop.write("home-share/applications/unknown.desktop",
                  entry("Name=Unknown\nExec=sh -c \"updater-not-installed --check\""));
    std::map<std::string, std::filesystem::path> code;
    for (const auto& application : desktop.scan()) {
        code[application->bundleID()] = application->codeURL();
    }
    EXPECT_EQ(code["wrapped"], desktop / "bin/ru-client");
    EXPECT_EQ(code["unknown"], std::filesystem::path());
}

TEST(DesktopApplicationsTests, EveryHolderOfThePackageCopyrightIsRead) {
    const std::string holders =
        "1987-1999, E. I. du Pont de Nemours and Company\n"
        "2001-2004, Tool Authors <dev@tool.example.ru>\n"
        "2010 Other Person";
    struct Row {
        const char* name;
        std::string field;
    };
    const Row rows[] = {
        {"first holder beside the name",
         "Copyright: 1987-1999, E. I. du Pont de Nemours and Company\n"
         " 2001-2004, Tool Authors <dev@tool.example.ru>\n"
         "\t2010 Other Person\n"
         "License: GPL-2+\n"},
        {"holders on the lines after",
         "Copyright:\n"
         "  1987-1999, E. I. du Pont de Nemours and Company\n"
         "  2001-2004, Tool Authors <dev@tool.example.ru>\n"
         "  .\n"
         "  2010 Other Person\n"
         "\n"
         "Files: debian/*\n"
         "Copyright: 2022 Packager\n"},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        Desktop desktop;
        desktop.populate();
        desktop.write("doc/ru-tool/copyright",
                      "Format: https://www.debian.org/doc/"
                      "packaging-manuals/copyright-format/1.0/\n\n"
                      "Files: *\n" +
                          row.field);
        std::shared_ptr<LocalApplication> tool;
        for (const auto& application : desktop.scan()) {
            if (application->bundleID() == "kde-tool") {
                tool = application;
            }
        }
        ASSERT_NE(tool, nullptr);
        EXPECT_EQ(tool->copyrightString(), holders);
    }
}

TEST(DesktopApplicationsTests, TheChecksReadTheirEvidence) {
    Desktop desktop;
    desktop.populate();
    FixedCountries countries({"RU"});
    auto analyser = std::make_shared<LocalApplicationsAnalyserImpl>(
        std::make_shared<BinaryStringsParserImpl>(), countries);
    std::vector<RestrictionPreference> rules;
    for (const auto rule : {DetectionReason::Case::binaryURLs, DetectionReason::Case::localization,
                            DetectionReason::Case::copyright, DetectionReason::Case::sellerName,
                            DetectionReason::Case::signingCertificate}) {
        rules.emplace_back(DetectionReason::allCases()[static_cast<std::size_t>(rule)]);
    }
    const auto& russia = Country::russia();
    const auto telemetry =
        DetectionReason::binaryURLs(russia.countryName(), {"https://telemetry.example.ru/collect"});
    const std::map<std::string, std::vector<DetectionReason>> expected = {
        {"ru-client", {telemetry}},
        {"kde-tool", {telemetry, DetectionReason::copyright(russia.languageName())}},
        {"org.example.Viewer",
         {DetectionReason::localization(russia.languageName()),
          DetectionReason::copyright(russia.languageName()),
          DetectionReason::sellerName("Studio example.ru")}},
        {"org.example.Flat", {telemetry}},
        {"editor_editor", {}},
        {"Tool-x86_64",
         {DetectionReason::binaryURLs(russia.countryName(), {"https://update.example.ru/"})}},
    };
    for (const auto& application : desktop.scan()) {
        SCOPED_TRACE(application->bundleID());
        auto found = analyser->analyse(application, {}, rules);
        const auto& reasons = expected.at(application->bundleID());
        if (reasons.empty()) {
            EXPECT_EQ(found, nullptr);
            continue;
        }
        ASSERT_NE(found, nullptr);
        EXPECT_EQ(found->reasons(), reasons);
        EXPECT_EQ(found->origin(), application->origin());
    }
}

TEST(DesktopApplicationsTests, CraftedFilesNeitherBlockNorMislead) {
    Desktop desktop;
    desktop.populate();
    // Every reader gets a FIFO, a link to a device and a folder where it expects a file.
    for (const auto& [fifo, zero, folder] :
         std::vector<std::tuple<std::string, std::string, std::string>>{
             {"home-share/applications/fifo.desktop", "home-share/applications/zero.desktop",
              "home-share/applications/folder.desktop"},
             {"usr-share/metainfo/fifo.metainfo.xml", "usr-share/metainfo/zero.metainfo.xml",
              "usr-share/metainfo/folder.metainfo.xml"},
             {"Downloads/fifo.AppImage", "Downloads/zero.AppImage", "Downloads/folder.AppImage"},
             {"dpkg-info/fifo.list", "dpkg-info/zero.list", "dpkg-info/folder.list"},
             {"bin/fifo-tool", "bin/zero-tool", "bin/folder-tool"}}) {
        ASSERT_EQ(::mkfifo((desktop / fifo).c_str(), 0700), 0);
        std::filesystem::create_symlink("/dev/zero", desktop / zero);
        std::filesystem::create_directories(desktop / folder);
    }
    for (const auto& program : {"fifo-tool", "zero-tool", "folder-tool"}) {
        desktop.write(std::string("home-share/applications/") + program + ".desktop",
                      entry(std::string("Name=") + program + "\nExec=" + program));
    }
    // A loop of linked folders is not entered.
    std::filesystem::create_directory_symlink(desktop / "home-share/applications",
                                              desktop / "home-share/applications/loop");
    std::vector<std::string> ids;
    for (const auto& application : desktop.scan()) {
        ids.push_back(application->bundleID());
        EXPECT_TRUE(BinaryStringsParserImpl().parse(application->codeURL()).size() < 1000);
    }
    EXPECT_EQ(ids, (std::vector<std::string>{"fifo-tool", "folder-tool", "ru-client", "zero-tool",
                                             "kde-tool", "org.example.Viewer", "org.example.Flat",
                                             "editor_editor", "Tool-x86_64"}));
    for (const auto& path : {"bin/fifo-tool", "bin/zero-tool", "bin/folder-tool"}) {
        EXPECT_TRUE(BinaryStringsParserImpl().parse(desktop / path).empty());
    }
}

}  // namespace
}  // namespace tarnwick
