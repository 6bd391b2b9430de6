#include "Foundation/JSONReader.h"
#include "Foundation/ValueJSON.h"
#include "fuzz/FuzzEntries.h"

#include <cstdlib>
#include <string_view>

namespace tarnwick::fuzz {

// A document that reads must turn into values, back into JSON text and into the same values.
int fuzzValueJSON(const std::uint8_t* data, std::size_t size) {
    const auto document =
        JSONReader::parse(std::string_view(reinterpret_cast<const char*>(data), size));
    if (!document) {
        return 0;
    }
    const Value value = valueFromJson(*document);
    const auto text =
        jsonFromValue(value).dump(-1, ' ', false, nlohmann::json::error_handler_t::strict);
    const auto again = JSONReader::parse(text);
    if (!again || valueFromJson(*again) != value) {
        std::abort();
    }
    return 0;
}

}  // namespace tarnwick::fuzz
