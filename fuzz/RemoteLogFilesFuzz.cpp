#include "Logging/JSONLines.h"
#include "Logging/LHPlatformDestination.h"
#include "fuzz/FuzzEntries.h"

#include <string_view>

namespace tarnwick::fuzz {

// The bytes as the remote destinations' files: entry lines, and the analytics record merged
// with a fresh one.
int fuzzRemoteLogFiles(const std::uint8_t* data, std::size_t size) {
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    const nlohmann::json fresh = {{"uuid", "U"},      {"firstStart", 1.5},  {"lastStart", 1.5},
                                  {"starts", 1},      {"userName", ""},     {"firstAppVersion", ""},
                                  {"appVersion", ""}, {"firstAppBuild", 0}, {"appBuild", 0}};
    std::size_t reported = 0;
    auto entries = JSONLines::objects(text, [&](std::size_t) { ++reported; });
    if (auto object = JSONLines::object(text)) {
        for (const bool updating : {false, true}) {
            const auto record =
                LHPlatformDestination::mergedAnalyticsRecord(*object, fresh, updating, "user");
            // What an upload does with what was read: it must still write as JSON.
            (void)record.dump(-1, ' ', false, nlohmann::json::error_handler_t::replace);
        }
    }
    const nlohmann::json document = {{"entries", std::move(entries)}};
    (void)document.dump(-1, ' ', false, nlohmann::json::error_handler_t::replace);
    return 0;
}

}  // namespace tarnwick::fuzz
