#include "Foundation/UserDefaults.h"
#include "Tools/AllowanceList.h"
#include "Tools/DecodingError.h"
#include "Tools/Preferences.h"
#include "Tools/UndesirableCountriesData.h"
#include "fuzz/FuzzEntries.h"

#include <string_view>

namespace tarnwick::fuzz {

// The bytes as a settings file, and as each JSON document kept under a settings key. A reader
// may refuse with a DecodingError; any other exception escapes and ends the run.
int fuzzSettings(const std::uint8_t* data, std::size_t size) {
    const std::string_view bytes(reinterpret_cast<const char*>(data), size);
    (void)UserDefaults::parseDocument(bytes);  // refusing is a fine outcome
    try {
        (void)Preferences::RestrictionsData::decode(bytes);
    } catch (const DecodingError&) {
    }
    try {
        (void)AllowanceList::decode(bytes);
    } catch (const DecodingError&) {
    }
    try {
        (void)UndesirableCountriesData::decode(bytes);
    } catch (const DecodingError&) {
    }
    return 0;
}

}  // namespace tarnwick::fuzz
