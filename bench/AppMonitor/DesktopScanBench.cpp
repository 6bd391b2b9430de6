// A whole scan of a desktop with 300 applications, three of them with executables of 100, 200 and
// 300 MB, with every rule in force and the network stages answered from the loopback. Run it on two
// cores (taskset -c 0,1); "peak_MB" is the resident memory's peak during the scans.
#include "ScanServices.h"
#include "support/ElfFixture.h"
#include "support/TemporaryDirectory.h"

#include <benchmark/benchmark.h>

#include <atomic>
#include <chrono>
#include <cstdlib>
#include <fstream>
#include <memory>
#include <zlib.h>

namespace tarnwick {
namespace {

std::string messages(std::size_t bytes, const std::string& tag) {
    std::string text;
    text.reserve(bytes + 64);
    for (std::size_t index = 0; text.size() < bytes; ++index) {
        text += "Some message number " + std::to_string(index) + " of " + tag;
        text.push_back('\0');
    }
    return text;
}

// A Flatpak remote's catalog of `count` applications, compressed as Flatpak keeps it: the size of
// a large public remote.
void writeRemoteCatalog(const std::filesystem::path& path, int count) {
    std::filesystem::create_directories(path.parent_path());
    std::string xml = "<?xml version=\"1.0\"?>\n<components version=\"0.14\" origin=\"remote\">\n";
    std::string description;
    while (description.size() < 1500) {
        description += "A paragraph about what the application does and why. ";
    }
    for (int index = 0; index < count; ++index) {
        const auto id = "org.remote.App" + std::to_string(index);
        xml += "<component type=\"desktop-application\"><id>" + id + "</id><name>App " +
               std::to_string(index) + "</name><summary>Does remote things</summary>" +
               "<description><p>" + description + "</p></description>" +
               "<developer_name>Remote Maker</developer_name><url type=\"homepage\">https://" +
               std::to_string(index) + ".remote.example/</url><launchable type=\"desktop-id\">" +
               id + ".desktop</launchable></component>\n";
    }
    xml += "</components>\n";
    gzFile file = gzopen(path.c_str(), "wb");
    gzwrite(file, xml.data(), static_cast<unsigned>(xml.size()));
    gzclose(file);
}

// An ELF executable of `megabytes` whose read-only data is nearly all of it, written a chunk at a
// time so that making it costs no memory.
void writeLargeElf(const std::filesystem::path& path, std::size_t megabytes, int index) {
    constexpr std::uint64_t dataOffset = 1 << 20;
    const std::uint64_t dataBytes = std::uint64_t(megabytes - 1) << 20;
    testing::ElfFixture fixture;
    fixture.sections = {{".rodata", 1, 0x2, "", dataOffset, dataBytes}};
    std::ofstream out(path, std::ios::binary);
    const auto header = testing::buildElf(fixture);
    out << header << std::string(dataOffset - header.size(), '\0');
    const auto chunk = messages(1 << 20, "big" + std::to_string(index));
    for (std::uint64_t written = 0; written < dataBytes; written += 1 << 20) {
        out.write(chunk.data(), 1 << 20);
    }
    std::filesystem::permissions(path, std::filesystem::perms::owner_all);
}

struct Desktop {
    testing::TemporaryDirectory home;
    bench::ScanServices services{home / "config"};

    Desktop() {
        std::filesystem::create_directories(home / "bin");
        std::filesystem::create_directories(home / "share/applications");
        std::filesystem::create_directories(home / "share/metainfo");
        // Thirty ordinary programs of a few megabytes, shared among the entries as libraries'
        // front ends are, and three large ones.
        for (int program = 0; program < 30; ++program) {
            testing::ElfFixture fixture;
            auto strings = messages(3 << 20, "program" + std::to_string(program));
            strings += "https://api" + std::to_string(program) +
                       (program % 7 == 0 ? ".example.ru/v1" : ".example.com/v1") + '\0';
            fixture.sections = {{".rodata", 1, 0x2, strings}, {".text", 1, 0x6, "code"}};
            testing::writeFile(home / ("bin/program" + std::to_string(program)),
                               testing::buildElf(fixture));
            std::filesystem::permissions(home / ("bin/program" + std::to_string(program)),
                                         std::filesystem::perms::owner_all);
        }
        writeRemoteCatalog(home / "flatpak/appstream/remote/x86_64/active/appstream.xml.gz", 4000);
        for (int large = 0; large < 3; ++large) {
            writeLargeElf(home / ("bin/large" + std::to_string(large)), 100 * (large + 1), large);
        }
        for (int index = 0; index < 300; ++index) {
            const auto id = "org.bench.App" + std::to_string(index);
            const auto program = index < 3 ? "large" + std::to_string(index)
                                           : "program" + std::to_string(index % 30);
            testing::writeFile(home / ("share/applications/" + id + ".desktop"),
                               "[Desktop Entry]\nType=Application\nName=App " +
                                   std::to_string(index) + "\nExec=" + program + " %U\n");
            if (index % 3 == 0) {
                testing::writeFile(
                    home / ("share/metainfo/" + id + ".metainfo.xml"),
                    "<component type=\"desktop-application\"><id>" + id +
                        "</id><name>App</name><summary>Does things</summary>"
                        "<developer_name>Bench Software</developer_name>"
                        "<url type=\"homepage\">https://app" +
                        std::to_string(index) +
                        ".example/</url><languages><lang>en</lang><lang>de</lang></languages>"
                        "</component>");
            }
        }
    }

    LocalApplicationsScanner::Folders folders() const {
        LocalApplicationsScanner::Folders folders{home / "none", home / "none"};
        folders.desktop.dataHome = home / "share";
        folders.desktop.dataDirs = {home / "flatpak/exports/share"};
        folders.desktop.path = {home / "bin"};
        return folders;
    }
};

// The resident memory's peak since the last reset, in megabytes.
double peakMegabytes() {
    std::ifstream status("/proc/self/status");
    std::string line;
    while (std::getline(status, line)) {
        if (line.rfind("VmHWM:", 0) == 0) {
            return std::stod(line.substr(6)) / 1024.0;
        }
    }
    return 0;
}

void resetPeak() {
    std::ofstream("/proc/self/clear_refs") << "5";
}

void BM_ScanOf300DesktopApplications(benchmark::State& state) {
    static Desktop desktop;
    resetPeak();
    const double before = peakMegabytes();
    std::optional<std::size_t> found;
    for (auto _ : state) {
        found = desktop.services.scan(desktop.folders());
        if (!found) {
            state.SkipWithError("the scan did not end");
            return;
        }
    }
    state.counters["found"] = static_cast<double>(found.value_or(0));
    state.counters["peak_MB"] = peakMegabytes();
    state.counters["start_MB"] = before;
}
BENCHMARK(BM_ScanOf300DesktopApplications)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime()
    ->Iterations(3);

// The local stages on this machine's own desktop applications and AppImages: what a scan here
// costs before the network answers.
void BM_LocalStagesOfThisDesktop(benchmark::State& state) {
    bench::BenchCountries countries;
    std::vector<RestrictionPreference> allRules;
    for (const auto& reason : DetectionReason::allCases()) {
        allRules.emplace_back(reason);
    }
    std::size_t scanned = 0;
    std::size_t found = 0;
    resetPeak();
    for (auto _ : state) {
        const LocalApplicationsScanner scanner;
        auto applications =
            scanner.applications(LocalApplicationsScanner::ScanLocation::desktopApplications());
        const auto appImages =
            scanner.applications(LocalApplicationsScanner::ScanLocation::appImages());
        applications.insert(applications.end(), appImages.begin(), appImages.end());
        scanned = applications.size();
        auto analyser = std::make_shared<LocalApplicationsAnalyserImpl>(
            std::make_shared<BinaryStringsParserImpl>(), countries);
        std::atomic<bool> done{false};
        analyser->analyse(applications, {}, allRules, [&](auto results) {
            found = results.size();
            done = true;
        });
        while (!done) {
            RunLoop::main().runFor(std::chrono::milliseconds(5));
        }
    }
    state.counters["scanned"] = static_cast<double>(scanned);
    state.counters["found"] = static_cast<double>(found);
    state.counters["peak_MB"] = peakMegabytes();
}
BENCHMARK(BM_LocalStagesOfThisDesktop)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(3);

}  // namespace
}  // namespace tarnwick
