#include "LHPlatformDestination.h"

#include "AES256CBC.h"
#include "Foundation/AtomicFile.h"
#include "Foundation/FileDescriptor.h"
#include "Foundation/OutsideFile.h"
#include "Foundation/UUID.h"
#include "JSONLines.h"
#include "Network/HTTPRequest.h"
#include "Network/HTTPSession.h"
#include "OSLog/OSLog.h"

#include <cerrno>
#include <charconv>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <limits>
#include <sys/stat.h>
#include <sys/utsname.h>
#include <unistd.h>

namespace tarnwick {

namespace {

using Json = nlohmann::json;

// The analytics record is one small object; anything far larger is not ours.
constexpr std::size_t kMaximumAnalyticsFileSize = 1024 * 1024;
// The service's answer is ignored but for its status; a larger one is not worth receiving.
constexpr std::size_t kMaximumAnswerSize = 1024 * 1024;

std::string urlText(const std::filesystem::path& file) {
    return "file://" + file.string();
}

// Text that is not UTF-8 keeps its readable part; the broken bytes become U+FFFD.
std::string serialised(const Json& json) {
    return json.dump(-1, ' ', false, Json::error_handler_t::replace);
}

std::string fileNameOf(const std::string& path) {
    const auto slash = path.rfind('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

std::int64_t saturatingAdd(std::int64_t a, std::int64_t b) {
    std::int64_t sum = 0;
    if (__builtin_add_overflow(a, b, &sum)) {
        return b > 0 ? std::numeric_limits<std::int64_t>::max()
                     : std::numeric_limits<std::int64_t>::min();
    }
    return sum;
}

std::optional<std::int64_t> storedInteger(const Json& value) {
    if (value.is_number_unsigned()) {
        const auto number = value.get<std::uint64_t>();
        if (number > static_cast<std::uint64_t>(std::numeric_limits<std::int64_t>::max())) {
            return std::nullopt;
        }
        return static_cast<std::int64_t>(number);
    }
    if (value.is_number_integer()) {
        return value.get<std::int64_t>();
    }
    return std::nullopt;
}

// The kernel's release as major.minor.patch ("6.1.0" of "6.1.0-18-amd64").
std::string systemVersion() {
    struct utsname names {};
    if (::uname(&names) != 0) {
        return "0.0.0";
    }
    std::string_view release(names.release);
    std::string version;
    for (int part = 0; part < 3; ++part) {
        long number = 0;
        const auto [end, error] =
            std::from_chars(release.data(), release.data() + release.size(), number);
        if (error != std::errc()) {
            number = 0;
        } else {
            release.remove_prefix(static_cast<std::size_t>(end - release.data()));
            if (!release.empty() && release.front() == '.') {
                release.remove_prefix(1);
            } else {
                release = {};
            }
        }
        version += (part == 0 ? "" : ".") + std::to_string(number);
    }
    return version;
}

std::shared_ptr<HTTPSession> defaultSession(std::shared_ptr<DispatchQueue> callbackQueue) {
    return std::make_shared<HTTPSession>(std::move(callbackQueue));
}

}  // namespace

std::string LHPlatformDestination::defaultServerURL() {
    return "https://logs.brenlow-works.com/api/entries/";
}

LHPlatformDestination::LHPlatformDestination(std::string appID, std::string appSecret,
                                             std::string encryptionKey,
                                             std::optional<std::string> serverURL,
                                             const FileNames& fileNames)
    : LHPlatformDestination(std::move(appID), std::move(appSecret), std::move(encryptionKey),
                            std::move(serverURL), fileNames, Services{}) {}

LHPlatformDestination::LHPlatformDestination(std::string appID, std::string appSecret,
                                             std::string encryptionKey,
                                             std::optional<std::string> serverURL,
                                             const FileNames& fileNames, Services services)
    : BaseDestination(*services.clock)
    , m_appID(std::move(appID))
    , m_appSecret(std::move(appSecret))
    , m_encryptionKey(std::move(encryptionKey))
    , m_serverURL(std::move(serverURL))
    , m_bundle(std::move(services.bundle))
    , m_makeSession(services.makeSession ? std::move(services.makeSession)
                                         : SessionFactory(defaultSession)) {
    const auto supportFolders = services.directories.applicationSupportDirectories();
    if (supportFolders.empty()) {
        return;
    }
    std::filesystem::path folder = supportFolders.front();
    if (auto name = m_bundle.executableName()) {
        std::error_code error;
        std::filesystem::create_directories(folder / *name, error);
        if (error) {
            printLine("Warning! Could not create folder ~/Library/Application Support/" + *name +
                      ".");
        } else {
            folder /= *name;
        }
    }
    m_entriesFileURL = folder / fileNames.entries;
    m_sendingFileURL = folder / fileNames.sending;
    m_analyticsFileURL = folder / fileNames.analytics;
    (void)writeJSONObject(analyticsRecord(true), m_analyticsFileURL);  // reported inside
}

LHPlatformDestination::~LHPlatformDestination() = default;

void LHPlatformDestination::setEncryptionKey(std::string value) {
    m_encryptionKey = std::move(value);
    m_keyErrorReported = false;
}

double LHPlatformDestination::now() const {
    // Whole seconds and the fraction apart: nanoseconds since 1970 are too many for a double to
    // hold exactly, and would turn .678 into .6780002.
    const auto sinceEpoch = clock().now().time_since_epoch();
    const auto whole = std::chrono::floor<std::chrono::seconds>(sinceEpoch);
    return static_cast<double>(whole.count()) +
           std::chrono::duration<double>(sinceEpoch - whole).count();
}

void LHPlatformDestination::debugLog(const std::string& message) const {
    if (m_showNSLog) {
        osLog("LHPlatform: " + message);
    }
}

std::optional<std::string> LHPlatformDestination::send(LogLevel level, const std::string& message,
                                                       const std::string& thread,
                                                       const std::string& file,
                                                       const std::string& function, long line,
                                                       const LogValue& /*context*/) {
    const Json entry = {
        {"timestamp", now()}, {"level", rawValue(level)},     {"message", message},
        {"thread", thread},   {"fileName", fileNameOf(file)}, {"function", function},
        {"line", line},
    };
    std::string jsonLine;
    try {
        jsonLine = serialised(entry);
    } catch (const Json::exception&) {
        printLine("LogHub could not create JSON from dict.");
        return std::nullopt;
    }
    debugLog("saving '" + jsonLine + "' to " + urlText(m_entriesFileURL));
    (void)appendLine(jsonLine, m_entriesFileURL, false);  // a failed append is reported inside

    m_points = saturatingAdd(m_points, memberForLevel(m_sendingPoints, level));
    debugLog("current sending points: " + std::to_string(m_points));

    if ((m_points >= m_sendingPoints.threshold && m_points >= minAllowedThreshold) ||
        m_points > maxAllowedThreshold) {
        debugLog(std::to_string(m_points) + " points is >= threshold");
        uploadPendingEntries();
    } else if (m_initialSending) {
        // Entries left over from an earlier run go out soon, not only once the points add up.
        m_initialSending = false;
        const auto entries = readEntries(m_entriesFileURL);
        if (entries && entries->size() > 1) {
            debugLog("initialSending: " + std::to_string(m_points) +
                     " points is below threshold but json file already has " +
                     std::to_string(entries->size()) + " lines.");
            uploadPendingEntries();
        }
    }
    return jsonLine;
}

void LHPlatformDestination::uploadPendingEntries() {
    std::error_code error;
    if (std::filesystem::exists(m_sendingFileURL, error)) {
        debugLog("reset points to 0");
        m_points = 0;
    } else if (!promoteEntriesToSending()) {
        return;
    }
    if (m_sendingInProgress) {
        return;
    }
    m_sendingInProgress = true;

    const auto sentFile = identity(m_sendingFileURL);
    auto entries = readEntries(m_sendingFileURL);
    if (!entries) {
        m_sendingInProgress = false;
        return;
    }
    if (entries->empty()) {
        setAsideEmptyBatch();
        m_sendingInProgress = false;
        return;
    }
    const std::size_t count = entries->size();

    Json device = analyticsRecord(false);
    const Json details = deviceInfo();
    for (const auto& [key, value] : details.items()) {
        device[key] = value;
    }
    const Json document = {{"device", std::move(device)}, {"entries", std::move(*entries)}};
    std::string text;
    try {
        text = serialised(document);
    } catch (const Json::exception&) {
        printLine("LogHub could not create JSON from dict.");
        m_sendingInProgress = false;
        return;
    }

    debugLog("Encrypting " + std::to_string(count) + " log entries ...");
    auto encrypted = AES256CBC::encryptedText(text, m_encryptionKey);
    if (!encrypted) {
        // A wrong key fails every batch the same way: said once, not at every batch.
        if (!m_keyErrorReported) {
            m_keyErrorReported = true;
            printLine("LHPlatform: could not encrypt log entries: " + encrypted.error().message +
                      ". They stay in " + urlText(m_sendingFileURL) + ".");
        }
        debugLog("Error! Could not encrypt log entries: " + encrypted.error().message);
        m_sendingInProgress = false;
        return;
    }

    debugLog("Sending " + std::to_string(count) + " encrypted log entries (" +
             std::to_string(encrypted->size()) + " chars) to server ...");
    postPayload(*encrypted, [this, count, sentFile](bool ok, long /*status*/) {
        debugLog("Sent " + std::to_string(count) +
                 " encrypted log entries to server, received ok: " + (ok ? "true" : "false"));
        // Only the batch the service took is deleted, never a file that took its place since.
        if (ok && sentFile && identity(m_sendingFileURL) == sentFile) {
            (void)removeFile(m_sendingFileURL);  // reported inside; the batch is sent again
        }
        m_sendingInProgress = false;
        m_points = 0;
    });
}

void LHPlatformDestination::setAsideEmptyBatch() {
    const auto contents = AtomicFile::read(m_sendingFileURL);
    if (!contents) {
        return;
    }
    if (!contents->empty()) {
        // Not one entry could be read from it; its bytes are kept for whoever wants to look.
        const auto aside = AtomicFile::keepAside(m_sendingFileURL, *contents);
        if (!aside) {
            return;
        }
        debugLog("Warning! No entries in " + urlText(m_sendingFileURL) + "; kept it as " +
                 urlText(*aside) + ".");
    }
    (void)removeFile(m_sendingFileURL);  // reported inside
}

void LHPlatformDestination::postPayload(const std::optional<std::string>& payload,
                                        Completion completion) {
    const auto callbackQueue = queue();
    if (!payload || !m_serverURL || !callbackQueue) {
        completion(false, 0);
        return;
    }
    // The answer is handled on this destination's queue, and only while the destination lives.
    std::weak_ptr<BaseDestination> owner = weak_from_this();
    if (owner.expired()) {
        debugLog("Error! The destination is not shared, so no answer could reach it.");
        completion(false, 0);
        return;
    }
    auto session = m_makeSession(callbackQueue);

    debugLog("assembling request ...");
    HTTPRequest request;
    request.url = *m_serverURL;
    request.method = HTTPRequest::Method::post;
    request.timeout = requestTimeout;
    request.headers = {{"Content-Type", "application/json"}, {"Accept", "application/json"}};
    request.basicAuthentication = HTTPRequest::Credentials{m_appID, m_appSecret};
    request.maximumResponseSize = kMaximumAnswerSize;
    // A redirected POST may come back as a GET whose 200 says nothing about the batch.
    request.followsRedirects = false;
    const Json parameters = {{"payload", *payload}};
    request.body = serialised(parameters);

    debugLog("sending params: " + request.body);
    debugLog("sending ...");
    m_sendingInProgress = true;

    // The session lives until its one request has answered.
    session->send(request, [owner, session, completion = std::move(completion)](HTTPResult result) {
        const auto self = owner.lock();
        if (!self) {
            return;
        }
        auto* destination = static_cast<LHPlatformDestination*>(self.get());
        destination->debugLog("received response from server");
        if (const HTTPError* error = result.error()) {
            destination->debugLog("Error! Could not send entries to server. " + error->message);
            completion(false, 0);
            return;
        }
        const long status = result.response()->statusCode;
        if (status == 200) {
            completion(true, 200);
            return;
        }
        destination->debugLog("Error! Sending entries to server failed with status code " +
                              std::to_string(status));
        completion(false, status);
    });
}

Result<void, LHPlatformDestination::FileError> LHPlatformDestination::appendLine(
    const std::string& text, const std::filesystem::path& file, bool overwrite) {
    const auto failed = [&](const std::string& reason) -> Result<void, FileError> {
        debugLog("Error! Could not write to file " + urlText(file) + ".");
        return Failure{FileError(reason)};
    };
    if (file.empty()) {
        return failed("no file location");
    }
    std::error_code error;
    if (overwrite || !std::filesystem::exists(file, error)) {
        if (const auto written = AtomicFile::write(file, text + "\n"); !written) {
            return failed(written.error().message);
        }
        return {};
    }
    auto opened = OutsideFile::openForAppending(file, 0600);
    if (!opened) {
        return failed(opened.error().message);
    }
    const int fd = opened->descriptor.release();
    // A line cut short by a crash or a full disk must not swallow the next one.
    std::string bytes;
    struct stat status {};
    char last = '\n';
    if (::fstat(fd, &status) == 0 && status.st_size > 0 &&
        ::pread(fd, &last, 1, status.st_size - 1) == 1 && last != '\n') {
        bytes.push_back('\n');
    }
    bytes += text;
    bytes.push_back('\n');
    const auto written = writeAll(fd, bytes);
    ::close(fd);
    if (!written) {
        return failed(written.error());
    }
    return {};
}

Result<void, LHPlatformDestination::FileError> LHPlatformDestination::promoteEntriesToSending() {
    // Never over an existing batch: that one has not been delivered yet.
    int result = ::renameat2(AT_FDCWD, m_entriesFileURL.c_str(), AT_FDCWD, m_sendingFileURL.c_str(),
                             RENAME_NOREPLACE);
    if (result != 0 && (errno == EINVAL || errno == ENOSYS)) {
        // A file system that cannot refuse to replace; the queue is the only writer here.
        std::error_code error;
        result = std::filesystem::exists(m_sendingFileURL, error) || error
                     ? -1
                     : ::rename(m_entriesFileURL.c_str(), m_sendingFileURL.c_str());
    }
    if (result != 0) {
        const std::string reason = std::strerror(errno);
        debugLog("LogHub Platform Destination could not rename json file.");
        return Failure{FileError(reason)};
    }
    return {};
}

Result<std::vector<nlohmann::json>, LHPlatformDestination::FileError>
LHPlatformDestination::readEntries(const std::filesystem::path& file) {
    if (file.empty()) {
        debugLog("Error! Could not read file " + urlText(file) + ".");
        return Failure{FileError("no file location")};
    }
    const auto text = AtomicFile::read(file);
    if (!text) {
        debugLog("Error! Could not read file " + urlText(file) + ".");
        return Failure{FileError(text.error().message)};
    }
    return JSONLines::objects(*text, [&](std::size_t lineNumber) {
        debugLog("Error! Could not parse line " + std::to_string(lineNumber) + " in file " +
                 urlText(file) + ".");
    });
}

Result<void, LHPlatformDestination::FileError> LHPlatformDestination::removeFile(
    const std::filesystem::path& file) {
    std::error_code error;
    if (!std::filesystem::remove(file, error)) {
        debugLog("Warning! Could not delete file " + urlText(file) + ".");
        return Failure{FileError(error ? error.message() : "no such file")};
    }
    return {};
}

Result<nlohmann::json, LHPlatformDestination::FileError> LHPlatformDestination::readJSONObject(
    const std::filesystem::path& file) {
    const auto failed = [&](const std::string& reason) -> Result<nlohmann::json, FileError> {
        debugLog("LogHub Platform Destination could not read file " + urlText(file));
        return Failure{FileError(reason)};
    };
    std::error_code error;
    const auto size = file.empty() ? 0 : std::filesystem::file_size(file, error);
    if (file.empty() || error) {
        return failed("cannot read " + file.string());
    }
    if (size > kMaximumAnalyticsFileSize) {
        return failed(file.string() + " is too large");
    }
    const auto text = AtomicFile::read(file);
    if (!text) {
        return failed(text.error().message);
    }
    auto object = JSONLines::object(*text);
    if (!object) {
        return failed(file.string() + " holds no JSON object");
    }
    return std::move(*object);
}

Result<void, LHPlatformDestination::FileError> LHPlatformDestination::writeJSONObject(
    const nlohmann::json& object, const std::filesystem::path& file) {
    std::string text;
    try {
        text = serialised(object);
    } catch (const Json::exception& error) {
        printLine("LogHub could not create JSON from dict.");
        return Failure{FileError(error.what())};
    }
    debugLog("saving '" + text + "' to " + urlText(file));
    return appendLine(text, file, true);
}

nlohmann::json LHPlatformDestination::analyticsRecord(bool updating) {
    const double moment = now();
    m_uuid = UUID::random().uuidString();
    const Json fresh = {
        {"uuid", m_uuid},
        {"firstStart", moment},
        {"lastStart", moment},
        {"starts", 1},
        {"userName", m_analyticsUserName},
        {"firstAppVersion", appVersionString()},
        {"appVersion", appVersionString()},
        {"firstAppBuild", appBuildNumber()},
        {"appBuild", appBuildNumber()},
    };
    auto stored = readJSONObject(m_analyticsFileURL);
    if (!stored) {
        return fresh;
    }
    Json record = mergedAnalyticsRecord(*stored, fresh, updating, m_analyticsUserName);
    m_uuid = record["uuid"].get<std::string>();
    return record;
}

nlohmann::json LHPlatformDestination::mergedAnalyticsRecord(const nlohmann::json& stored,
                                                            const nlohmann::json& fresh,
                                                            bool updating,
                                                            const std::string& analyticsUserName) {
    Json record = fresh;
    if (!stored.is_object()) {
        return record;
    }
    const auto member = [&](const char* key) -> const Json* {
        const auto found = stored.find(key);
        return found == stored.end() ? nullptr : &*found;
    };
    if (const Json* value = member("firstStart"); value && value->is_number()) {
        record["firstStart"] = *value;
    }
    if (const Json* value = member("lastStart"); value && value->is_number() && !updating) {
        record["lastStart"] = *value;
    }
    if (const Json* value = member("starts")) {
        if (auto starts = storedInteger(*value)) {
            record["starts"] = updating ? saturatingAdd(*starts, 1) : *starts;
        }
    }
    if (const Json* value = member("uuid"); value && value->is_string()) {
        record["uuid"] = *value;
    }
    if (const Json* value = member("userName"); value && value->is_string()) {
        const auto storedName = value->get<std::string>();
        if (updating && !analyticsUserName.empty()) {
            record["userName"] = analyticsUserName;
        } else if (!storedName.empty()) {
            record["userName"] = storedName;
        }
    }
    if (const Json* value = member("firstAppVersion"); value && value->is_string()) {
        record["firstAppVersion"] = *value;
    }
    if (const Json* value = member("firstAppBuild")) {
        if (auto build = storedInteger(*value)) {
            record["firstAppBuild"] = *build;
        }
    }
    return record;
}

nlohmann::json LHPlatformDestination::deviceInfo() const {
    return {
        {"os", "OSX"},    {"osVersion", systemVersion()}, {"deviceName", ""}, {"deviceModel", ""},
        {"hostName", ""},
    };
}

std::string LHPlatformDestination::appVersionString() const {
    const Value* value = m_bundle.objectForInfoDictionaryKey("CFBundleShortVersionString");
    const auto text = value != nullptr ? value->asString() : std::nullopt;
    return text.value_or("");
}

std::int64_t LHPlatformDestination::appBuildNumber() const {
    const Value* value = m_bundle.objectForInfoDictionaryKey("CFBundleVersion");
    const auto text = value != nullptr ? value->asString() : std::nullopt;
    if (!text) {
        return 0;
    }
    std::string_view digits(*text);
    bool negative = false;
    if (!digits.empty() && (digits.front() == '+' || digits.front() == '-')) {
        negative = digits.front() == '-';
        digits.remove_prefix(1);
    }
    if (digits.empty() || digits.front() < '0' || digits.front() > '9') {
        return 0;
    }
    // Read as unsigned so that the most negative number still fits before the sign is applied.
    std::uint64_t magnitude = 0;
    const auto [end, error] =
        std::from_chars(digits.data(), digits.data() + digits.size(), magnitude);
    if (error != std::errc() || end != digits.data() + digits.size()) {
        return 0;
    }
    constexpr auto largest = static_cast<std::uint64_t>(std::numeric_limits<std::int64_t>::max());
    if (negative) {
        if (magnitude > largest + 1) {
            return 0;
        }
        return magnitude == largest + 1 ? std::numeric_limits<std::int64_t>::min()
                                        : -static_cast<std::int64_t>(magnitude);
    }
    return magnitude > largest ? 0 : static_cast<std::int64_t>(magnitude);
}

std::optional<LHPlatformDestination::FileIdentity> LHPlatformDestination::identity(
    const std::filesystem::path& file) {
    struct stat status {};
    if (::stat(file.c_str(), &status) != 0) {
        return std::nullopt;
    }
    return FileIdentity{
        static_cast<std::uint64_t>(status.st_dev), static_cast<std::uint64_t>(status.st_ino),
        static_cast<std::int64_t>(status.st_size),
        static_cast<std::int64_t>(status.st_mtim.tv_sec) * 1'000'000'000 + status.st_mtim.tv_nsec};
}

}  // namespace tarnwick
