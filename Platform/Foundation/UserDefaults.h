#pragma once

#include "Result.h"
#include "Value.h"

#include <filesystem>
#include <map>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>

namespace tarnwick {

// One settings domain kept as one JSON document. Every change is written through at once, and
// atomically, so a crash never leaves half a file. A file that does not parse reads as an empty
// domain; its bytes are copied to a side file before the first write replaces them.
//
// Values keep their types: Booleans, integers, reals, strings, arrays and dictionaries are plain
// JSON; data is written as {"$data": "<base64>"}.
class UserDefaults {
public:
    explicit UserDefaults(std::filesystem::path file);

    // The application's own domain: "<bundle identifier>.json" (the executable's name without a
    // bundle) under $XDG_CONFIG_HOME/tarnwick/.
    static UserDefaults& standard();
    static std::filesystem::path standardFile();

    std::optional<Value> object(const std::string& key) const;
    // No value removes the key.
    void set(const std::string& key, std::optional<Value> value);
    void removeObject(const std::string& key) { set(key, std::nullopt); }

    const std::filesystem::path& file() const { return m_file; }

    // The values of a settings file's bytes, or why the file is unreadable.
    static Result<std::map<std::string, Value>, std::string> parseDocument(std::string_view bytes);

    // Points this domain at another file and reads it afresh.
    // Used for testing only
    void resetForTesting(std::filesystem::path file);

private:
    void load();
    void save();

    mutable std::mutex m_mutex;
    std::filesystem::path m_file;
    std::map<std::string, Value> m_values;
    std::optional<std::string> m_unreadableBytes;  // kept aside before the first overwrite
    bool m_unsafeToSave = false;                   // the file exists but could not be read
};

}  // namespace tarnwick
