#include "FeedbackForm/KVBDefaultSystemProfileProvider.h"
#include "FeedbackForm/KVBSystemInfo.h"
#include "support/TemporaryDirectory.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <filesystem>
#include <future>
#include <mutex>
#include <string>
#include <vector>

namespace tarnwick {
namespace {

using namespace std::chrono_literals;
using testing::readFile;
using testing::TemporaryDirectory;
using testing::writeFile;

class SettableClock final : public WallClock {
public:
    TimePoint now() const override { return TimePoint(m_ticks.load()); }
    void set(TimePoint time) { m_ticks = time.time_since_epoch(); }
    void advance(std::chrono::seconds by) { m_ticks = m_ticks.load() + by; }

private:
    std::atomic<WallClock::TimePoint::duration> m_ticks{std::chrono::seconds(1'765'000'000)};
};

// A machine made of fixture folders: an x86 laptop with one graphics card.
struct FixtureMachine {
    TemporaryDirectory folder;
    std::vector<ProcessRequest> journalRequests;
    std::mutex mutex;
    std::string journalOutput;

    FixtureMachine() {
        writeFile(folder / "proc/cpuinfo",
                  "processor\t: 0\nmodel name\t: Example(R) Core(TM) i7-8650U CPU @ 1.90GHz\n"
                  "physical id\t: 0\ncore id\t\t: 0\nflags\t\t: fpu vme lm sse\n\n"
                  "processor\t: 1\nmodel name\t: Example(R) Core(TM) i7-8650U CPU @ 1.90GHz\n"
                  "physical id\t: 0\ncore id\t\t: 0\n\n"
                  "processor\t: 2\nmodel name\t: Example(R) Core(TM) i7-8650U CPU @ 1.90GHz\n"
                  "physical id\t: 0\ncore id\t\t: 1\n\n");
        writeFile(folder / "proc/meminfo", "MemTotal:       16303428 kB\nMemFree: 1 kB\n");
        writeFile(folder / "sys/devices/virtual/dmi/id/product_name", "ThinkPad X1 Carbon\n");
        writeFile(folder / "sys/devices/system/cpu/cpu0/cpufreq/cpuinfo_max_freq", "4200000\n");
        const auto gpu = folder / "sys/bus/pci/devices/0000:00:02.0";
        writeFile(gpu / "class", "0x030000\n");
        writeFile(gpu / "vendor", "0x8086\n");
        writeFile(gpu / "device", "0x5917\n");
        std::filesystem::create_directories(folder / "sys/bus/pci/drivers/i915");
        std::filesystem::create_directory_symlink("../../../bus/pci/drivers/i915", gpu / "driver");
        const auto network = folder / "sys/bus/pci/devices/0000:00:1f.6";
        writeFile(network / "class", "0x020000\n");
        writeFile(folder / "etc/os-release",
                  "NAME=\"Debian GNU/Linux\"\nPRETTY_NAME=\"Debian GNU/Linux 12 (bookworm)\"\n");
    }

    KVBSystemSources sources() {
        KVBSystemSources sources;
        sources.procRoot = folder / "proc";
        sources.sysRoot = folder / "sys";
        sources.osReleaseFile = folder / "etc/os-release";
        sources.uname = [] { return KVBSystemSources::Uname{"Linux", "6.1.0-18-amd64", "x86_64"}; };
        sources.freeSpace = [](const std::filesystem::path& path) -> std::optional<std::uint64_t> {
            return path == "/" ? std::optional<std::uint64_t>(499'963'174'912) : std::nullopt;
        };
        sources.environment = [](const std::string& name) -> std::optional<std::string> {
            return name == "LANG" ? std::optional<std::string>("en_GB.UTF-8") : std::nullopt;
        };
        sources.commandRunner = [this](const ProcessRequest& request) -> ProcessResult {
            std::lock_guard lock(mutex);
            journalRequests.push_back(request);
            return ProcessOutcome{0, journalOutput, "", false};
        };
        return sources;
    }

    KVBDefaultSystemProfileProvider::Locations locations() {
        return {folder / "support", folder / "config", "Tarnwick", "com.brenlow-works.corvid"};
    }

    std::size_t journalRuns() {
        std::lock_guard lock(mutex);
        return journalRequests.size();
    }
};

struct Texts {
    std::string system, log, preferences;
};

Texts gather(KVBSystemProfileProvider& provider) {
    std::promise<Texts> texts;
    provider.gatherSystemProfileData(
        [&](const std::string& system, const std::string& log, const std::string& preferences) {
            texts.set_value({system, log, preferences});
        });
    auto future = texts.get_future();
    EXPECT_EQ(future.wait_for(30s), std::future_status::ready);
    return future.get();
}

std::optional<std::filesystem::path> writeProfile(KVBSystemProfileProvider& provider) {
    std::promise<std::optional<std::filesystem::path>> file;
    provider.writeSystemProfileToFile(
        [&](std::optional<std::filesystem::path> written) { file.set_value(written); });
    auto future = file.get_future();
    EXPECT_EQ(future.wait_for(30s), std::future_status::ready);
    return future.get();
}

TEST(KVBSystemInfo, FactsComeFromTheFixtureMachine) {
    FixtureMachine machine;
    EXPECT_EQ(KVBSystemInfo::systemInfoString(machine.sources()),
              "Machine Model = ThinkPad X1 Carbon\n"
              "OS Version = Debian GNU/Linux 12 (bookworm) (Linux 6.1.0-18-amd64)\n"
              "Preferred Language = en_GB\n"
              "Free Disk Space = 499.96 GB\n"
              "RAM Size = 15.55 GB\n"
              "GPU Models = 8086:5917 (i915)\n"
              "CPU Type = Example(R) Core(TM) i7-8650U CPU @ 1.90GHz\n"
              "CPU Speed (MHz) = 4200\n"
              "Number of CPUs = 2\n"
              "CPU is 64-Bit = Yes\n");
}

TEST(KVBSystemInfo, AnUnknownProcessorReadsAsSuchAndMissingFactsAreLeftOut) {
    TemporaryDirectory folder;
    writeFile(folder / "proc/cpuinfo",
              "processor\t: 0\nCPU implementer\t: 0x41\nCPU part\t: 0xd0c\n\n"
              "processor\t: 1\nCPU implementer\t: 0x41\nCPU part\t: 0xd0c\n");
    KVBSystemSources sources;
    sources.procRoot = folder / "proc";
    sources.sysRoot = folder / "sys";
    sources.osReleaseFile = folder / "none";
    EXPECT_EQ(KVBSystemInfo::systemInfoString(sources),
              "Preferred Language = en_US_POSIX\n"
              "GPU Models = \n"
              "CPU Type = Unknown (type = 65, subtype = 3340)\n"
              "CPU Speed (MHz) = \n"
              "Number of CPUs = 2\n"
              "CPU is 64-Bit = No\n");
}

TEST(KVBSystemInfo, WithoutAFrequencyDriverTheSpeedIsTheKernelsFigure) {
    TemporaryDirectory folder;
    writeFile(folder / "proc/cpuinfo", "processor\t: 0\ncpu MHz\t\t: 2918.404\n");
    KVBSystemSources sources;
    sources.procRoot = folder / "proc";
    sources.sysRoot = folder / "sys";
    sources.osReleaseFile = folder / "none";
    EXPECT_NE(KVBSystemInfo::systemInfoString(sources).find("CPU Speed (MHz) = 2918\n"),
              std::string::npos);
}

TEST(KVBSystemInfo, ByteCountsReadLikeAFileBrowserShowsThem) {
    using Style = KVBSystemInfo::ByteCountStyle;
    struct Case {
        std::uint64_t bytes;
        Style style;
        const char* text;
    };
    const Case cases[] = {
        {0, Style::file, "Zero KB"},        {1, Style::file, "1 byte"},
        {999, Style::file, "999 bytes"},    {1000, Style::file, "1 KB"},
        {4'260'000, Style::file, "4.3 MB"}, {2'000'000'000, Style::file, "2 GB"},
        {1024, Style::memory, "1 KB"},      {17'179'869'184, Style::memory, "16 GB"},
        {1500, Style::memory, "1 KB"},      {3'000'000'000'000, Style::file, "3 TB"},
    };
    for (const auto& testCase : cases) {
        SCOPED_TRACE(testCase.bytes);
        EXPECT_EQ(KVBSystemInfo::formatByteCount(testCase.bytes, testCase.style), testCase.text);
    }
}

TEST(KVBDefaultSystemProfileProvider, ConsoleTextJoinsLogFilesThenTheSystemJournal) {
    FixtureMachine machine;
    writeFile(machine.folder / "logs/tarnwick.log", "line one\nline two\n");
    writeFile(machine.folder / "logs/extra.log", "caf\xe9\n");  // Latin-1, not UTF-8
    machine.journalOutput =
        R"({"__REALTIME_TIMESTAMP":"1764999000123456","MESSAGE":"engine started"})"
        "\n"
        R"({"__REALTIME_TIMESTAMP":"1764999001000000","MESSAGE":[104,105]})"
        "\n"
        R"({"__REALTIME_TIMESTAMP":"1764999002000000"})"
        "\n"
        "not json\n";
    SettableClock clock;
    auto provider =
        KVBDefaultSystemProfileProvider::make(machine.sources(), machine.locations(), clock);
    provider->setLogURLs({machine.folder / "logs/tarnwick.log", machine.folder / "logs/missing.log",
                          machine.folder / "logs/extra.log"});

    EXPECT_EQ(provider->consoleLogsForHostApplication(),
              "-----tarnwick.log-----\n\nline one\nline two\n"
              "-----extra.log-----\n\ncaf\xc3\xa9\n"
              "\n\n-----SYSTEM CONSOLE LOG-----\n\n"
              "2025-12-06 05:30:00 +0000: engine started\n"
              "2025-12-06 05:30:01 +0000: hi\n");
    ASSERT_EQ(machine.journalRuns(), 1u);
    EXPECT_EQ(machine.journalRequests[0].arguments,
              (std::vector<std::string>{"journalctl", "--no-pager", "--quiet", "--output=json",
                                        "--since=@1764913600", "SYSLOG_IDENTIFIER=Tarnwick"}));
    EXPECT_GT(machine.journalRequests[0].timeLimit.count(), 0);

    provider->setLogURLs({});
    machine.journalOutput.clear();
    EXPECT_EQ(provider->consoleLogsForHostApplication(), "No logs found.");
}

TEST(KVBDefaultSystemProfileProvider, OnlyTheLast10MiBOfALogFileAreRead) {
    TemporaryDirectory folder;
    const std::size_t limit = KVBDefaultSystemProfileProvider::maximumLogBytes;
    // "é" straddles the cut: its second byte is the first byte kept, and is dropped.
    std::string contents = "old\n" + std::string("\xc3\xa9") + std::string(limit - 1, 'n');
    writeFile(folder / "big.log", contents);
    const auto tail = KVBDefaultSystemProfileProvider::readLogTail(folder / "big.log");
    ASSERT_TRUE(tail);
    EXPECT_EQ(*tail, std::string(limit - 1, 'n'));
    EXPECT_EQ(KVBDefaultSystemProfileProvider::readLogTail(folder / "absent.log"), std::nullopt);
}

TEST(KVBDefaultSystemProfileProvider, PreferencesAreTheDomainInPropertyListStyle) {
    FixtureMachine machine;
    writeFile(machine.folder / "config/com.brenlow-works.corvid.json",
              R"({"launchesCount":3,"didCompleteOnboarding":true,)"
              R"("undesirableCountries":["RU","BY"],"note":"two words"})");
    SettableClock clock;
    auto provider =
        KVBDefaultSystemProfileProvider::make(machine.sources(), machine.locations(), clock);
    EXPECT_EQ(provider->appPreferencesForHostApplication(),
              "{\n"
              "    didCompleteOnboarding = 1;\n"
              "    launchesCount = 3;\n"
              "    note = \"two words\";\n"
              "    undesirableCountries =     (\n"
              "        RU,\n"
              "        BY\n"
              "    );\n"
              "}");
    provider->setUserDefaultsDomain("../escape");
    EXPECT_EQ(provider->appPreferencesForHostApplication(), "");
    provider->setUserDefaultsDomain("absent.domain");
    EXPECT_EQ(provider->appPreferencesForHostApplication(), "");
}

TEST(KVBDefaultSystemProfileProvider, AGatheredProfileIsReusedFor60Seconds) {
    FixtureMachine machine;
    SettableClock clock;
    auto provider =
        KVBDefaultSystemProfileProvider::make(machine.sources(), machine.locations(), clock);
    const auto first = gather(*provider);
    EXPECT_EQ(machine.journalRuns(), 1u);

    clock.advance(59s);
    // A fresh profile is answered at once, on the calling thread.
    bool answered = false;
    provider->gatherSystemProfileData(
        [&](const std::string& system, const std::string&, const std::string&) {
            answered = true;
            EXPECT_EQ(system, first.system);
        });
    EXPECT_TRUE(answered);
    EXPECT_EQ(machine.journalRuns(), 1u);

    clock.advance(2s);
    (void)gather(*provider);
    EXPECT_EQ(machine.journalRuns(), 2u);
}

TEST(KVBDefaultSystemProfileProvider, RequestsDuringAGatheringShareItInOrder) {
    FixtureMachine machine;
    std::mutex gate;
    std::unique_lock held(gate);
    auto sources = machine.sources();
    auto inner = sources.commandRunner;
    std::promise<void> started;
    sources.commandRunner = [&](const ProcessRequest& request) {
        started.set_value();
        std::lock_guard wait(gate);  // holds the gathering until all three have asked
        return inner(request);
    };
    SettableClock clock;
    auto provider = KVBDefaultSystemProfileProvider::make(sources, machine.locations(), clock);

    std::mutex orderMutex;
    std::vector<int> order;
    std::promise<void> allAnswered;
    for (int i = 0; i < 3; ++i) {
        provider->gatherSystemProfileData(
            [&, i](const std::string&, const std::string&, const std::string&) {
                std::lock_guard lock(orderMutex);
                order.push_back(i);
                if (order.size() == 3) {
                    allAnswered.set_value();
                }
            });
        if (i == 0) {
            started.get_future().wait();
        }
    }
    held.unlock();
    EXPECT_EQ(allAnswered.get_future().wait_for(30s), std::future_status::ready);
    EXPECT_EQ(order, (std::vector<int>{0, 1, 2}));
    EXPECT_EQ(machine.journalRuns(), 1u);
}

TEST(KVBDefaultSystemProfileProvider, TheProfileFileHoldsThreeSections) {
    FixtureMachine machine;
    writeFile(machine.folder / "logs/tarnwick.log", "hello\n");
    SettableClock clock;
    auto provider =
        KVBDefaultSystemProfileProvider::make(machine.sources(), machine.locations(), clock);
    provider->setLogURLs({machine.folder / "logs/tarnwick.log"});

    const auto file = writeProfile(*provider);
    ASSERT_TRUE(file);
    EXPECT_EQ(*file, machine.folder / "support/Tarnwick_system_profile.txt");
    const auto texts = gather(*provider);
    EXPECT_EQ(readFile(*file), "---------- SYSTEM INFO ----------\n\n" + texts.system +
                                   "\n\n---------- CONSOLE LOG ----------\n\n"
                                   "-----tarnwick.log-----\n\nhello\n"
                                   "\n\n---------- APPLICATION PREFERENCES ----------\n\n");
}

TEST(KVBDefaultSystemProfileProvider, AFileThatCannotBeWrittenAnswersEveryWaitingRequest) {
    FixtureMachine machine;
    // The support folder's place is taken by a file, so nothing can be written inside it.
    writeFile(machine.folder / "support", "not a folder");
    SettableClock clock;
    auto provider =
        KVBDefaultSystemProfileProvider::make(machine.sources(), machine.locations(), clock);

    std::promise<void> bothAnswered;
    std::atomic<int> answers{0};
    std::atomic<int> withFile{0};
    for (int i = 0; i < 2; ++i) {
        provider->writeSystemProfileToFile([&](std::optional<std::filesystem::path> file) {
            withFile += file ? 1 : 0;
            if (++answers == 2) {
                bothAnswered.set_value();
            }
        });
    }
    EXPECT_EQ(bothAnswered.get_future().wait_for(30s), std::future_status::ready);
    EXPECT_EQ(withFile, 0);

    // The failure leaves nothing stuck: once the folder can be made, a later write succeeds.
    std::filesystem::remove(machine.folder / "support");
    EXPECT_TRUE(writeProfile(*provider));
}

}  // namespace
}  // namespace tarnwick
