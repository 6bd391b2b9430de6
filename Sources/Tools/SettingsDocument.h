#pragma once

#include "Foundation/Result.h"
#include "SettingsKey.h"

#include <optional>
#include <string>
#include <string_view>

namespace tarnwick {

// A JSON document kept as data under one settings key, as the target countries, the
// restrictions and the allow and deny lists are. A document that a reader cannot decode is the
// user's data all the same: its bytes are copied to a side file beside the settings file
// ("<settings file>.<key>.corrupt") before anything overwrites them, and a write that would lose
// them (because no copy could be made) is refused.
class SettingsDocument {
public:
    SettingsDocument() = delete;

    // The data under the key. Nothing when the key is absent or holds another kind of value.
    static std::optional<std::string> read(SettingsKey key);

    // Called by a reader that could not decode `bytes`, read under `key`.
    static void keepUnreadable(SettingsKey key, std::string_view bytes);

    // Stores `bytes` as data under the key; the reason when it was not stored.
    static Result<void, std::string> write(SettingsKey key, std::string_view bytes);
};

}  // namespace tarnwick
