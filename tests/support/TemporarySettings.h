#pragma once

#include "Foundation/UserDefaults.h"
#include "OSLog/OSLog.h"
#include "Tools/SettingsKey.h"
#include "support/TemporaryDirectory.h"

#include <mutex>
#include <string>
#include <vector>

namespace tarnwick::testing {

// Points the standard settings at a fresh file in a temporary folder and records what goes to the
// system log, for as long as it lives.
class TemporarySettings {
public:
    TemporarySettings() {
        UserDefaults::standard().resetForTesting(file());
        OSLog::setObserverForTesting([this](const OSLog&, OSLogType, std::string_view line) {
            std::lock_guard lock(m_mutex);
            m_logLines.emplace_back(line);
        });
    }
    ~TemporarySettings() { OSLog::setObserverForTesting(nullptr); }

    std::filesystem::path file() const { return m_folder / "settings.json"; }
    const TemporaryDirectory& folder() const { return m_folder; }

    // Stores bytes under a key the way the stores do: as data.
    void storeData(SettingsKey key, const std::string& bytes) {
        Settings::set(Value(Value::Data(bytes.begin(), bytes.end())), key);
    }
    // The data under a key as text; "<absent>" or "<not data>" otherwise.
    std::string storedText(SettingsKey key) const {
        const auto value = Settings::value(key);
        if (!value) {
            return "<absent>";
        }
        const auto data = value->asData();
        return data ? std::string(data->begin(), data->end()) : "<not data>";
    }
    // Reopens the settings file, as the next launch would.
    void relaunch() { UserDefaults::standard().resetForTesting(file()); }

    std::vector<std::string> logLines() const {
        std::lock_guard lock(m_mutex);
        return m_logLines;
    }

private:
    TemporaryDirectory m_folder;
    mutable std::mutex m_mutex;
    std::vector<std::string> m_logLines;
};

}  // namespace tarnwick::testing
