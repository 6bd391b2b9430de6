#include "KVBDefaultSystemProfileProvider.h"

#include "Dispatch/DispatchQueue.h"
#include "Foundation/AtomicFile.h"
#include "Foundation/JSONReader.h"
#include "Foundation/OutsideFile.h"
#include "Foundation/StandardDirectories.h"
#include "Foundation/UserDefaults.h"
#include "KVBHostApplication.h"
#include "KVBSystemInfo.h"
#include "OSLog/OSLog.h"

#include <nlohmann/json.hpp>

#include <cerrno>
#include <charconv>
#include <cstdint>
#include <ctime>
#include <limits>
#include <sstream>
#include <system_error>
#include <unistd.h>
#include <utility>

namespace tarnwick {

namespace {

constexpr std::chrono::seconds kSystemLogPeriod{86'400};
constexpr std::size_t kMaximumJournalBytes = 8 * 1024 * 1024;
constexpr std::size_t kMaximumPreferencesBytes = 4 * 1024 * 1024;
constexpr std::size_t kMaximumJSONDepth = 32;

bool isValidUTF8(std::string_view text) {
    std::size_t i = 0;
    while (i < text.size()) {
        const auto byte = static_cast<unsigned char>(text[i]);
        std::size_t length = 0;
        if (byte < 0x80) {
            length = 1;
        } else if ((byte & 0xE0) == 0xC0 && byte >= 0xC2) {
            length = 2;
        } else if ((byte & 0xF0) == 0xE0) {
            length = 3;
        } else if ((byte & 0xF8) == 0xF0 && byte <= 0xF4) {
            length = 4;
        } else {
            return false;
        }
        if (i + length > text.size()) {
            return false;
        }
        for (std::size_t k = 1; k < length; ++k) {
            if ((static_cast<unsigned char>(text[i + k]) & 0xC0) != 0x80) {
                return false;
            }
        }
        i += length;
    }
    return true;
}

std::string latin1ToUTF8(std::string_view text) {
    std::string converted;
    converted.reserve(text.size());
    for (const char c : text) {
        const auto byte = static_cast<unsigned char>(c);
        if (byte < 0x80) {
            converted.push_back(c);
        } else {
            converted.push_back(static_cast<char>(0xC0 | (byte >> 6)));
            converted.push_back(static_cast<char>(0x80 | (byte & 0x3F)));
        }
    }
    return converted;
}

std::string utcDescription(std::time_t seconds) {
    std::tm parts{};
    char text[64] = "";
    if (gmtime_r(&seconds, &parts) == nullptr ||
        std::strftime(text, sizeof text, "%Y-%m-%d %H:%M:%S +0000", &parts) == 0) {
        return "?";
    }
    return text;
}

bool isPlainWord(const std::string& text) {
    if (text.empty()) {
        return false;
    }
    for (const char c : text) {
        const bool plain = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') ||
                           (c >= '0' && c <= '9') || c == '_' || c == '.' || c == '$' || c == '/' ||
                           c == ':';
        if (!plain) {
            return false;
        }
    }
    return true;
}

std::string quotedIfNeeded(const std::string& text) {
    if (isPlainWord(text)) {
        return text;
    }
    std::string quoted = "\"";
    for (const char c : text) {
        if (c == '"' || c == '\\') {
            quoted.push_back('\\');
            quoted.push_back(c);
        } else if (c == '\n') {
            quoted += "\\n";
        } else {
            quoted.push_back(c);
        }
    }
    return quoted + "\"";
}

void describeJSON(const nlohmann::json& value, int indent, std::string& out) {
    const std::string inner(static_cast<std::size_t>(indent + 1) * 4, ' ');
    const std::string outer(static_cast<std::size_t>(indent) * 4, ' ');
    if (value.is_object()) {
        out += "{\n";
        for (const auto& [key, member] : value.items()) {
            out += inner + quotedIfNeeded(key) + " = ";
            if (member.is_structured()) {
                out += "    ";
            }
            describeJSON(member, indent + 1, out);
            out += ";\n";
        }
        out += outer + "}";
    } else if (value.is_array()) {
        out += "(\n";
        bool first = true;
        for (const auto& element : value) {
            if (!first) {
                out += ",\n";
            }
            first = false;
            out += inner;
            describeJSON(element, indent + 1, out);
        }
        out += "\n" + outer + ")";
    } else if (value.is_string()) {
        out += quotedIfNeeded(value.get<std::string>());
    } else if (value.is_boolean()) {
        out += value.get<bool>() ? "1" : "0";
    } else if (value.is_null()) {
        out += "\"<null>\"";
    } else {
        out += value.dump();
    }
}

}  // namespace

KVBDefaultSystemProfileProvider::Locations KVBDefaultSystemProfileProvider::Locations::standard() {
    Locations locations;
    const auto supportFolders = StandardDirectories().applicationSupportDirectories();
    if (!supportFolders.empty()) {
        locations.applicationSupportDirectory = supportFolders.front();
    }
    locations.preferencesDirectory = UserDefaults::standardFile().parent_path();
    const auto& host = KVBHostApplication::sharedInstance();
    locations.hostName = host.name();
    locations.hostBundleID = host.bundleID();
    return locations;
}

std::shared_ptr<KVBDefaultSystemProfileProvider> KVBDefaultSystemProfileProvider::make() {
    return make(KVBSystemSources::system(), Locations::standard(), WallClock::system());
}

std::shared_ptr<KVBDefaultSystemProfileProvider> KVBDefaultSystemProfileProvider::make(
    KVBSystemSources sources, Locations locations, const WallClock& clock) {
    return std::make_shared<KVBDefaultSystemProfileProvider>(std::move(sources),
                                                             std::move(locations), clock);
}

KVBDefaultSystemProfileProvider::KVBDefaultSystemProfileProvider(KVBSystemSources sources,
                                                                 Locations locations,
                                                                 const WallClock& clock)
    : m_sources(std::move(sources))
    , m_locations(std::move(locations))
    , m_clock(clock)
    , m_internalQueue(
          DispatchQueue::create("com.brenlow.kvbFeedbackForm.systemProfileProviderQueue",
                                QualityOfService::userInitiated)) {}

std::string KVBDefaultSystemProfileProvider::userDefaultsDomain() const {
    std::lock_guard lock(m_settingsMutex);
    return m_userDefaultsDomain;
}

void KVBDefaultSystemProfileProvider::setUserDefaultsDomain(std::string domain) {
    std::lock_guard lock(m_settingsMutex);
    m_userDefaultsDomain = std::move(domain);
}

std::vector<std::filesystem::path> KVBDefaultSystemProfileProvider::logURLs() const {
    std::lock_guard lock(m_settingsMutex);
    return m_logURLs;
}

void KVBDefaultSystemProfileProvider::setLogURLs(std::vector<std::filesystem::path> urls) {
    std::lock_guard lock(m_settingsMutex);
    m_logURLs = std::move(urls);
}

std::filesystem::path KVBDefaultSystemProfileProvider::profileFile() const {
    return m_locations.applicationSupportDirectory / (m_locations.hostName + "_system_profile.txt");
}

void KVBDefaultSystemProfileProvider::gatherSystemProfileData(GatherCompletion completion) {
    {
        std::unique_lock texts(m_textsMutex);
        if (m_clock.now() - m_previousDataGatheringTime < cacheLifetime) {
            const Texts cached = m_texts;
            texts.unlock();
            if (completion) {
                completion(cached.systemInfo, cached.logInfo, cached.appPreferencesInfo);
            }
            return;
        }
    }
    {
        std::lock_guard lock(m_lock);
        if (completion) {
            m_gatherDataCompletions.push_back(std::move(completion));
        }
        if (m_isGatheringData) {
            return;
        }
        m_isGatheringData = true;
    }
    std::weak_ptr<KVBDefaultSystemProfileProvider> weakSelf = weak_from_this();
    m_internalQueue->async([weakSelf] {
        if (auto self = weakSelf.lock()) {
            self->gather();
        }
    });
}

void KVBDefaultSystemProfileProvider::gather() {
    Texts texts{KVBSystemInfo::systemInfoString(m_sources), consoleLogsForHostApplication(),
                appPreferencesForHostApplication()};
    {
        std::lock_guard lock(m_textsMutex);
        m_texts = texts;
        m_previousDataGatheringTime = m_clock.now();
    }
    std::vector<GatherCompletion> waiting;
    {
        std::lock_guard lock(m_lock);
        m_isGatheringData = false;
        waiting.swap(m_gatherDataCompletions);
    }
    // Called outside the lock, so a block may ask again without deadlocking.
    for (const auto& block : waiting) {
        block(texts.systemInfo, texts.logInfo, texts.appPreferencesInfo);
    }
}

void KVBDefaultSystemProfileProvider::writeSystemProfileToFile(WriteCompletion completion) {
    {
        std::lock_guard lock(m_lock);
        if (completion) {
            m_writeFileCompletions.push_back(std::move(completion));
        }
        if (m_isWritingFile) {
            return;
        }
        m_isWritingFile = true;
    }
    std::weak_ptr<KVBDefaultSystemProfileProvider> weakSelf = weak_from_this();
    gatherSystemProfileData([weakSelf](const std::string& systemInfo, const std::string& logInfo,
                                       const std::string& appPreferencesInfo) {
        auto self = weakSelf.lock();
        if (!self) {
            return;
        }
        Texts texts{systemInfo, logInfo, appPreferencesInfo};
        self->m_internalQueue->async([weakSelf, texts = std::move(texts)] {
            if (auto provider = weakSelf.lock()) {
                provider->write(texts);
            }
        });
    });
}

void KVBDefaultSystemProfileProvider::write(const Texts& texts) {
    const auto file = profileFile();
    std::optional<std::filesystem::path> written;
    if (const auto result = AtomicFile::write(
            file, fileText(texts.systemInfo, texts.logInfo, texts.appPreferencesInfo), 0644);
        !result) {
        osLog("Error: did fail to write system profile data to file (attempted path: " +
                  file.string() + "). Error: " + result.error().message + ".",
              OSLogType::error);
    } else {
        written = file;
    }
    std::vector<WriteCompletion> waiting;
    {
        std::lock_guard lock(m_lock);
        m_isWritingFile = false;
        waiting.swap(m_writeFileCompletions);
    }
    // A failed write answers too, without a file, so no report waits for it forever.
    for (const auto& block : waiting) {
        block(written);
    }
}

std::string KVBDefaultSystemProfileProvider::fileText(const std::string& systemInfo,
                                                      const std::string& logInfo,
                                                      const std::string& appPreferencesInfo) {
    return "---------- SYSTEM INFO ----------\n\n" + systemInfo +
           "\n\n---------- CONSOLE LOG ----------\n\n" + logInfo +
           "\n\n---------- APPLICATION PREFERENCES ----------\n\n" + appPreferencesInfo;
}

std::optional<std::string> KVBDefaultSystemProfileProvider::readLogTail(
    const std::filesystem::path& file, std::size_t maximumBytes) {
    // Only the tail is read, so a log of any size will do.
    const auto opened = OutsideFile::open(file, std::numeric_limits<std::uint64_t>::max());
    if (!opened) {
        return std::nullopt;
    }
    const auto size = static_cast<std::uint64_t>(opened->status.st_size);
    const auto length = std::min<std::uint64_t>(size, maximumBytes);
    std::string bytes(static_cast<std::size_t>(length), '\0');
    std::size_t done = 0;
    while (done < bytes.size()) {
        const ssize_t count =
            ::pread(opened->descriptor.get(), bytes.data() + done, bytes.size() - done,
                    static_cast<off_t>(size - length + done));
        if (count < 0 && errno == EINTR) {
            continue;
        }
        if (count < 0) {
            return std::nullopt;
        }
        if (count == 0) {
            break;
        }
        done += static_cast<std::size_t>(count);
    }
    bytes.resize(done);
    if (length < size) {
        // The cut may fall inside a character: its continuation bytes are dropped.
        std::size_t start = 0;
        while (start < bytes.size() && start < 3 &&
               (static_cast<unsigned char>(bytes[start]) & 0xC0) == 0x80) {
            ++start;
        }
        bytes.erase(0, start);
    }
    if (isValidUTF8(bytes)) {
        return bytes;
    }
    return latin1ToUTF8(bytes);
}

std::string KVBDefaultSystemProfileProvider::consoleLogsForHostApplication() const {
    std::string text;
    for (const auto& url : logURLs()) {
        auto contents = readLogTail(url);
        if (!contents) {
            osLog("Did fail to read log file at path: " + url.string(), OSLogType::error);
            continue;
        }
        text += "-----" + url.filename().string() + "-----\n\n" + *contents;
    }
    if (const auto system = systemConsoleLog(); !system.empty()) {
        text += "\n\n-----SYSTEM CONSOLE LOG-----\n\n" + system;
    }
    if (text.empty()) {
        return "No logs found.";
    }
    return text;
}

std::string KVBDefaultSystemProfileProvider::systemConsoleLog() const {
    if (!m_sources.commandRunner || m_locations.hostName.empty()) {
        return "";
    }
    const auto since = std::chrono::duration_cast<std::chrono::seconds>(
                           (m_clock.now() - kSystemLogPeriod).time_since_epoch())
                           .count();
    ProcessRequest request;
    request.arguments = {"journalctl",
                         "--no-pager",
                         "--quiet",
                         "--output=json",
                         "--since=@" + std::to_string(since),
                         "SYSLOG_IDENTIFIER=" + m_locations.hostName};
    request.timeLimit = std::chrono::seconds(15);
    request.outputLimit = kMaximumJournalBytes;
    const auto result = m_sources.commandRunner(request);
    if (!result) {
        return "";
    }
    return journalLines(result->standardOutput);
}

std::string KVBDefaultSystemProfileProvider::journalLines(std::string_view journalOutput) {
    std::string text;
    std::size_t start = 0;
    while (start < journalOutput.size()) {
        std::size_t end = journalOutput.find('\n', start);
        if (end == std::string_view::npos) {
            end = journalOutput.size();
        }
        const std::string_view line = journalOutput.substr(start, end - start);
        start = end + 1;
        if (line.empty()) {
            continue;
        }
        const auto parsed = JSONReader::parse(line, 4);
        if (!parsed || !parsed->is_object()) {
            continue;
        }
        const auto& entry = *parsed;
        const auto time = entry.find("__REALTIME_TIMESTAMP");
        const auto message = entry.find("MESSAGE");
        if (time == entry.end() || message == entry.end() || !time->is_string()) {
            continue;
        }
        std::string messageText;
        if (message->is_string()) {
            messageText = message->get<std::string>();
        } else if (message->is_array()) {
            // The journal writes messages that are not UTF-8 as arrays of byte values.
            for (const auto& byte : *message) {
                if (byte.is_number_unsigned() && byte.get<unsigned>() < 256) {
                    messageText.push_back(static_cast<char>(byte.get<unsigned>()));
                }
            }
            if (!isValidUTF8(messageText)) {
                messageText = latin1ToUTF8(messageText);
            }
        } else {
            continue;
        }
        const std::string& microseconds = time->get_ref<const std::string&>();
        // Nineteen digits can exceed a signed 64-bit value, never an unsigned one.
        std::uint64_t value = 0;
        const char* const first = microseconds.data();
        const char* const last = first + microseconds.size();
        if (microseconds.empty() || microseconds.size() > 19 ||
            microseconds.find_first_not_of("0123456789") != std::string::npos ||
            std::from_chars(first, last, value).ec != std::errc{}) {
            continue;
        }
        const auto seconds = static_cast<std::time_t>(value / 1'000'000);
        text += utcDescription(seconds) + ": " + messageText + "\n";
    }
    return text;
}

std::string KVBDefaultSystemProfileProvider::appPreferencesForHostApplication() const {
    std::string domain = userDefaultsDomain();
    if (domain.empty()) {
        domain = m_locations.hostBundleID;
    }
    // A domain names a file in the preferences folder, never a path elsewhere.
    if (domain.empty() || domain == "." || domain == ".." ||
        domain.find('/') != std::string::npos || domain.find('\0') != std::string::npos) {
        return "";
    }
    std::error_code error;
    const auto file = m_locations.preferencesDirectory / (domain + ".json");
    const auto size = std::filesystem::file_size(file, error);
    if (error || size > kMaximumPreferencesBytes) {
        return "";
    }
    const auto contents = AtomicFile::read(file);
    if (!contents) {
        return "";
    }
    return preferencesDescription(*contents);
}

std::string KVBDefaultSystemProfileProvider::preferencesDescription(std::string_view json) {
    if (json.size() > kMaximumPreferencesBytes) {
        return "";
    }
    const auto document = JSONReader::parse(json, kMaximumJSONDepth);
    if (!document || !document->is_object()) {
        return "";
    }
    std::string text;
    describeJSON(*document, 0, text);
    return text;
}

}  // namespace tarnwick
