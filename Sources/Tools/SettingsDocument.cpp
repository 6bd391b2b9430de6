#include "SettingsDocument.h"

#include "Foundation/AtomicFile.h"
#include "Foundation/UserDefaults.h"
#include "OSLog/OSLog.h"

#include <filesystem>
#include <map>
#include <mutex>
#include <set>
#include <utility>

namespace tarnwick {

namespace {

// Bytes that could not be copied aside yet, per settings file and key: they must be copied
// before the next write of that key.
struct PendingCopies {
    std::mutex mutex;
    std::map<std::pair<std::filesystem::path, std::string>, std::string> bytes;
};

PendingCopies& pendingCopies() {
    static auto* copies = new PendingCopies;
    return *copies;
}

std::filesystem::path sideFileBase(SettingsKey key) {
    return UserDefaults::standard().file().string() + "." + std::string(keyString(key));
}

// Succeeds when the bytes are safe in a side file.
Result<void, std::string> copyAside(SettingsKey key, std::string_view bytes) {
    const auto base = sideFileBase(key);
    // The same unreadable document is found at every launch and its earlier copy is reused;
    // say so only when a copy is new.
    std::set<std::filesystem::path> earlier;
    for (int attempt = 1;; ++attempt) {
        std::string candidate = base.string();
        candidate.append(".corrupt");
        if (attempt > 1) {
            candidate.append("-").append(std::to_string(attempt));
        }
        std::error_code error;
        if (!std::filesystem::exists(candidate, error)) {
            break;
        }
        earlier.insert(std::move(candidate));
    }
    auto side = AtomicFile::keepAside(base, bytes);
    if (!side) {
        return Failure{side.error().message};
    }
    if (earlier.count(*side) == 0) {
        osLog(
            "Unreadable \"" + std::string(keyString(key)) + "\" settings kept as " + side->string(),
            OSLogType::error);
    }
    return {};
}

}  // namespace

std::optional<std::string> SettingsDocument::read(SettingsKey key) {
    const auto value = Settings::value(key);
    if (!value) {
        return std::nullopt;
    }
    if (auto data = value->asData()) {
        return std::string(data->begin(), data->end());
    }
    return std::nullopt;
}

void SettingsDocument::keepUnreadable(SettingsKey key, std::string_view bytes) {
    auto& copies = pendingCopies();
    std::lock_guard lock(copies.mutex);
    const auto slot = std::make_pair(UserDefaults::standard().file(), std::string(keyString(key)));
    if (const auto copied = copyAside(key, bytes); copied) {
        copies.bytes.erase(slot);
    } else {
        // Tried again before the next write of the key, which is refused while it fails.
        osLog("Unreadable \"" + std::string(keyString(key)) +
                  "\" settings not kept aside yet: " + copied.error(),
              OSLogType::error);
        copies.bytes[slot] = std::string(bytes);
    }
}

Result<void, std::string> SettingsDocument::write(SettingsKey key, std::string_view bytes) {
    {
        auto& copies = pendingCopies();
        std::lock_guard lock(copies.mutex);
        const auto slot =
            std::make_pair(UserDefaults::standard().file(), std::string(keyString(key)));
        if (auto pending = copies.bytes.find(slot); pending != copies.bytes.end()) {
            if (const auto copied = copyAside(key, pending->second); !copied) {
                std::string reason = "the unreadable \"" + std::string(keyString(key)) +
                                     "\" settings could not be kept aside (" + copied.error() + ")";
                osLog("Not saved: " + reason, OSLogType::error);
                return Failure{std::move(reason)};
            }
            copies.bytes.erase(pending);
        }
    }
    Settings::set(Value(Value::Data(bytes.begin(), bytes.end())), key);
    return {};
}

}  // namespace tarnwick
