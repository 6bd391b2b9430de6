#pragma once

#include "Foundation/WallClock.h"
#include "KVBSystemProfileProvider.h"
#include "KVBSystemSources.h"

#include <atomic>
#include <chrono>
#include <cstddef>
#include <memory>
#include <mutex>
#include <string_view>

namespace tarnwick {

class DispatchQueue;

// Gathers the profile on its own serial queue and keeps it for 60 seconds, so the popover and the
// form may ask as often as they like. Requests that come while a gathering or a write runs wait
// for it and share its result, answered in the order they came.
//
// The file "<host name>_system_profile.txt" in the application support folder holds three
// sections: system facts, console logs (the last 10 MiB of each log file, then a day of the host's
// system journal) and the host's preferences.
class KVBDefaultSystemProfileProvider final
    : public KVBSystemProfileProvider,
      public std::enable_shared_from_this<KVBDefaultSystemProfileProvider> {
public:
    struct Locations {
        std::filesystem::path applicationSupportDirectory;
        // Where the defaults domains live, one "<domain>.json" each.
        std::filesystem::path preferencesDirectory;
        std::string hostName;
        std::string hostBundleID;

        // The running application's folders and names.
        static Locations standard();
    };

    static constexpr std::chrono::seconds cacheLifetime{60};
    static constexpr std::size_t maximumLogBytes = 10 * 1024 * 1024;

    static std::shared_ptr<KVBDefaultSystemProfileProvider> make();
    // Used for testing only
    static std::shared_ptr<KVBDefaultSystemProfileProvider> make(KVBSystemSources sources,
                                                                 Locations locations,
                                                                 const WallClock& clock);

    void gatherSystemProfileData(GatherCompletion completion) override;
    void writeSystemProfileToFile(WriteCompletion completion) override;

    std::string userDefaultsDomain() const override;
    void setUserDefaultsDomain(std::string domain) override;
    std::vector<std::filesystem::path> logURLs() const override;
    void setLogURLs(std::vector<std::filesystem::path> urls) override;

    std::filesystem::path profileFile() const;

    std::string consoleLogsForHostApplication() const;
    std::string systemConsoleLog() const;
    std::string appPreferencesForHostApplication() const;

    // The profile file's text.
    static std::string fileText(const std::string& systemInfo, const std::string& logInfo,
                                const std::string& appPreferencesInfo);
    // Lines "<UTC time>: <message>" of journalctl's JSON output; lines that do not parse are
    // skipped.
    static std::string journalLines(std::string_view journalOutput);
    // A defaults domain's JSON document in property-list style; empty for anything else.
    static std::string preferencesDescription(std::string_view json);
    // The last `maximumLogBytes` of a log file as UTF-8 text (bytes that are not UTF-8 are read
    // as Latin-1); nothing when the file cannot be read.
    static std::optional<std::string> readLogTail(const std::filesystem::path& file,
                                                  std::size_t maximumBytes = maximumLogBytes);

    KVBDefaultSystemProfileProvider(KVBSystemSources sources, Locations locations,
                                    const WallClock& clock);

private:
    struct Texts {
        std::string systemInfo;
        std::string logInfo;
        std::string appPreferencesInfo;
    };

    void gather();
    void write(const Texts& texts);

    KVBSystemSources m_sources;
    Locations m_locations;
    const WallClock& m_clock;
    std::shared_ptr<DispatchQueue> m_internalQueue;

    mutable std::mutex m_settingsMutex;
    std::string m_userDefaultsDomain;
    std::vector<std::filesystem::path> m_logURLs;

    mutable std::mutex m_textsMutex;
    Texts m_texts;
    WallClock::TimePoint m_previousDataGatheringTime{};

    // "com.brenlow.kvbFeedbackForm.systemProfileProviderLock": guards the waiting lists and the
    // two flags.
    std::mutex m_lock;
    bool m_isGatheringData = false;
    bool m_isWritingFile = false;
    std::vector<GatherCompletion> m_gatherDataCompletions;
    std::vector<WriteCompletion> m_writeFileCompletions;
};

}  // namespace tarnwick
