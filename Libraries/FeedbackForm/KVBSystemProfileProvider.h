#pragma once

#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace tarnwick {

// Delivers the three texts of the system profile and writes them into one file.
class KVBSystemProfileProvider {
public:
    using GatherCompletion =
        std::function<void(const std::string& systemInfo, const std::string& logInfo,
                           const std::string& appPreferencesInfo)>;
    // The written file, or nothing when it could not be written.
    using WriteCompletion = std::function<void(std::optional<std::filesystem::path>)>;

    virtual ~KVBSystemProfileProvider() = default;

    virtual void gatherSystemProfileData(GatherCompletion completion) = 0;
    virtual void writeSystemProfileToFile(WriteCompletion completion) = 0;

    // The defaults domain whose contents form the preferences text; empty means the host
    // application's bundle identifier.
    virtual std::string userDefaultsDomain() const = 0;
    virtual void setUserDefaultsDomain(std::string domain) = 0;
    // The log files whose contents open the console text.
    virtual std::vector<std::filesystem::path> logURLs() const = 0;
    virtual void setLogURLs(std::vector<std::filesystem::path> urls) = 0;
};

}  // namespace tarnwick
