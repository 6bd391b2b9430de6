#include "UserDefaults.h"

#include "AtomicFile.h"
#include "Bundle.h"
#include "JSONReader.h"
#include "OSLog/OSLog.h"
#include "StandardDirectories.h"
#include "ValueJSON.h"

#include <nlohmann/json.hpp>

namespace tarnwick {

namespace {

using Json = nlohmann::json;

}  // namespace

UserDefaults::UserDefaults(std::filesystem::path file) : m_file(std::move(file)) {
    load();
}

std::filesystem::path UserDefaults::standardFile() {
    const auto& bundle = Bundle::main();
    std::string domain = bundle.bundleIdentifier().value_or("");
    if (domain.empty()) {
        std::error_code error;
        domain = std::filesystem::read_symlink("/proc/self/exe", error).filename().string();
    }
    if (domain.empty()) {
        domain = "tarnwick";
    }
    const auto config =
        StandardDirectories().configDirectory().value_or(std::filesystem::temp_directory_path());
    return config / "tarnwick" / (domain + ".json");
}

UserDefaults& UserDefaults::standard() {
    // Never destroyed: other threads may read settings while the process exits.
    static auto* defaults = new UserDefaults(standardFile());
    return *defaults;
}

std::optional<Value> UserDefaults::object(const std::string& key) const {
    std::lock_guard lock(m_mutex);
    auto found = m_values.find(key);
    if (found == m_values.end()) {
        return std::nullopt;
    }
    return found->second;
}

void UserDefaults::set(const std::string& key, std::optional<Value> value) {
    std::lock_guard lock(m_mutex);
    if (value) {
        m_values[key] = std::move(*value);
    } else if (m_values.erase(key) == 0) {
        return;
    }
    save();
}

void UserDefaults::resetForTesting(std::filesystem::path file) {
    std::lock_guard lock(m_mutex);
    m_file = std::move(file);
    m_values.clear();
    m_unreadableBytes.reset();
    m_unsafeToSave = false;
    load();
}

void UserDefaults::load() {
    AtomicFile::removeStaleTemporaryFiles(m_file);
    auto bytes = AtomicFile::read(m_file);
    if (!bytes) {
        if (bytes.error().code != FileError::Code::notFound) {
            // Saving over a file that exists but could not be read would lose it for good.
            m_unsafeToSave = true;
            osLog("Settings file " + m_file.string() + " could not be read (" +
                      bytes.error().message + "); changes are not saved over it",
                  OSLogType::error);
        }
        return;
    }
    auto values = parseDocument(*bytes);
    if (!values) {
        m_unreadableBytes = std::move(*bytes);
        osLog("Settings file " + m_file.string() + " is unreadable (" + values.error() +
                  "); it is read as empty and kept aside before the next save",
              OSLogType::error);
        return;
    }
    m_values = std::move(*values);
}

Result<std::map<std::string, Value>, std::string> UserDefaults::parseDocument(
    std::string_view bytes) {
    auto document = JSONReader::parse(bytes);
    if (!document) {
        return Failure{document.error()};
    }
    if (!document->is_object()) {
        return Failure{std::string("the document is not a JSON object")};
    }
    std::map<std::string, Value> values;
    for (const auto& [key, item] : document->items()) {
        if (!item.is_null()) {
            values.emplace(key, valueFromJson(item));
        }
    }
    return values;
}

void UserDefaults::save() {
    if (m_unsafeToSave) {
        osLog("Settings not saved: " + m_file.string() + " could not be read at start",
              OSLogType::error);
        return;
    }
    if (m_unreadableBytes) {
        auto side = AtomicFile::keepAside(m_file, *m_unreadableBytes);
        if (!side) {
            // Without a copy of the old bytes, overwriting them would lose them for good.
            osLog("Settings not saved: the unreadable " + m_file.string() +
                      " could not be kept aside (" + side.error().message + ")",
                  OSLogType::error);
            return;
        }
        osLog("Unreadable settings file kept as " + side->string(), OSLogType::error);
        m_unreadableBytes.reset();
    }
    Json document = Json::object();
    for (const auto& [key, value] : m_values) {
        document[key] = jsonFromValue(value);
    }
    if (const auto written = AtomicFile::write(m_file, document.dump(2) + "\n"); !written) {
        osLog("Settings not saved: " + written.error().message, OSLogType::error);
    }
}

}  // namespace tarnwick
