#pragma once

#include "BaseDestination.h"
#include "Foundation/Bundle.h"
#include "Foundation/Result.h"
#include "Foundation/StandardDirectories.h"
#include "SendingPoints.h"

#include <nlohmann/json.hpp>

#include <chrono>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace tarnwick {

class DispatchQueue;
class HTTPSession;

// Collects entries for a remote log service and uploads them in encrypted batches. Nothing is
// shown; each accepted entry goes, as one JSON object per line, into the entries file, and earns
// points by its level. When the points reach the threshold, a batch is sent:
//   1. the entries file is renamed to the sending file (unless an earlier, undelivered batch is
//      still there: that one goes first, and newer entries wait);
//   2. the sending file's entries, the installation's analytics record and the device details
//      make one JSON document, encrypted with AES-256-CBC under the encryption key;
//   3. {"payload": <IV + Base64 ciphertext>} is posted with basic authorization;
//   4. only an answer of 200 deletes the sending file; any other outcome keeps it for the next
//      batch. The points start again from 0 either way.
// The three files live in a folder named after the executable under the application support
// folder. All state is touched on the destination's queue, where the service's answer arrives too.
// The destination must be owned by a shared_ptr, like every destination the logger holds.
class LHPlatformDestination : public BaseDestination {
public:
    using SessionFactory =
        std::function<std::shared_ptr<HTTPSession>(std::shared_ptr<DispatchQueue> callbackQueue)>;
    using Completion = std::function<void(bool ok, long status)>;
    // Why a file operation failed, for the diagnostics.
    using FileError = std::string;

    struct FileNames {
        std::string entries;
        std::string sending;
        std::string analytics;
    };

    // Where the destination finds time, folders, the program's identity and the network.
    struct Services {
        const WallClock* clock = &WallClock::system();
        StandardDirectories directories;
        Bundle bundle = Bundle::main();
        // A session per request; its completions must run on the queue it is given.
        SessionFactory makeSession;
    };

    static constexpr std::int64_t minAllowedThreshold = 1;
    static constexpr std::int64_t maxAllowedThreshold = 1000;
    static constexpr std::chrono::seconds requestTimeout{10};

    // The remote log service's entries endpoint.
    static std::string defaultServerURL();

    // `serverURL` is where batches are posted; none disables uploading.
    LHPlatformDestination(std::string appID, std::string appSecret, std::string encryptionKey,
                          std::optional<std::string> serverURL, const FileNames& fileNames);
    LHPlatformDestination(std::string appID, std::string appSecret, std::string encryptionKey,
                          std::optional<std::string> serverURL, const FileNames& fileNames,
                          Services services);
    ~LHPlatformDestination() override;

    int defaultHashValue() const override { return 3; }

    // Stores the entry and, when its points reach the threshold, starts a batch. Returns the
    // entry's JSON line.
    std::optional<std::string> send(LogLevel level, const std::string& message,
                                    const std::string& thread, const std::string& file,
                                    const std::string& function, long line,
                                    const LogValue& context) override;

    // Starts a batch unless one is under way.
    void uploadPendingEntries();

    Result<void, FileError> appendLine(const std::string& text, const std::filesystem::path& file,
                                       bool overwrite);
    Result<void, FileError> promoteEntriesToSending();
    Result<std::vector<nlohmann::json>, FileError> readEntries(const std::filesystem::path& file);
    Result<void, FileError> removeFile(const std::filesystem::path& file);
    // The installation's record, read from the analytics file; `updating` counts this start.
    // Sets `uuid`.
    nlohmann::json analyticsRecord(bool updating);
    Result<nlohmann::json, FileError> readJSONObject(const std::filesystem::path& file);
    Result<void, FileError> writeJSONObject(const nlohmann::json& object,
                                            const std::filesystem::path& file);
    nlohmann::json deviceInfo() const;
    std::string appVersionString() const;
    std::int64_t appBuildNumber() const;
    // Writes "LHPlatform: " and the message to the system log when `showNSLog` is on.
    void debugLog(const std::string& message) const;

    // The stored record brought up to date: what it holds of the right type is kept (and counted
    // on when `updating`), the rest comes from `fresh`.
    static nlohmann::json mergedAnalyticsRecord(const nlohmann::json& stored,
                                                const nlohmann::json& fresh, bool updating,
                                                const std::string& analyticsUserName);

    // Read and changed on the destination's queue, or before it is registered.
    const std::string& appID() const { return m_appID; }
    void setAppID(std::string value) { m_appID = std::move(value); }
    const std::string& appSecret() const { return m_appSecret; }
    void setAppSecret(std::string value) { m_appSecret = std::move(value); }
    const std::string& encryptionKey() const { return m_encryptionKey; }
    void setEncryptionKey(std::string value);
    const std::string& analyticsUserName() const { return m_analyticsUserName; }
    void setAnalyticsUserName(std::string value) { m_analyticsUserName = std::move(value); }
    const SendingPoints& sendingPoints() const { return m_sendingPoints; }
    void setSendingPoints(SendingPoints value) { m_sendingPoints = value; }
    bool showNSLog() const { return m_showNSLog; }
    void setShowNSLog(bool value) { m_showNSLog = value; }
    std::int64_t points() const { return m_points; }
    void setPoints(std::int64_t value) { m_points = value; }
    const std::optional<std::string>& serverURL() const { return m_serverURL; }
    void setServerURL(std::optional<std::string> value) { m_serverURL = std::move(value); }
    const std::filesystem::path& entriesFileURL() const { return m_entriesFileURL; }
    const std::filesystem::path& sendingFileURL() const { return m_sendingFileURL; }
    const std::filesystem::path& analyticsFileURL() const { return m_analyticsFileURL; }
    bool sendingInProgress() const { return m_sendingInProgress; }
    bool initialSending() const { return m_initialSending; }
    const std::string& uuid() const { return m_uuid; }

private:
    // What the sending file was when its batch was read, so that only that file is deleted.
    struct FileIdentity {
        std::uint64_t device = 0;
        std::uint64_t inode = 0;
        std::int64_t size = 0;
        std::int64_t modified = 0;

        bool operator==(const FileIdentity&) const = default;
    };
    static std::optional<FileIdentity> identity(const std::filesystem::path& file);

    void postPayload(const std::optional<std::string>& payload, Completion completion);
    // A sending file without a single entry would hold back every later batch.
    void setAsideEmptyBatch();
    double now() const;

    std::string m_appID;
    std::string m_appSecret;
    std::string m_encryptionKey;
    std::string m_analyticsUserName;
    SendingPoints m_sendingPoints;
    bool m_showNSLog = false;
    std::int64_t m_points = 0;
    std::optional<std::string> m_serverURL;
    std::filesystem::path m_entriesFileURL;
    std::filesystem::path m_sendingFileURL;
    std::filesystem::path m_analyticsFileURL;
    bool m_sendingInProgress = false;
    bool m_initialSending = true;
    std::string m_uuid;
    bool m_keyErrorReported = false;

    Bundle m_bundle;
    SessionFactory m_makeSession;
};

}  // namespace tarnwick
