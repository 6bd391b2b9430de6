#include "Logging/BaseDestination.h"
#include "Logging/Filters.h"
#include "Logging/LogValue.h"
#include "fuzz/FuzzEntries.h"

#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace tarnwick::fuzz {

namespace {

// Cuts the input at NUL bytes: format, message, file, function, then filter texts.
std::vector<std::string> pieces(std::string_view bytes) {
    std::vector<std::string> result;
    for (;;) {
        const auto end = bytes.find('\0');
        result.emplace_back(bytes.substr(0, end));
        if (end == bytes.npos) {
            return result;
        }
        bytes.remove_prefix(end + 1);
    }
}

std::shared_ptr<FilterType> makeFilter(std::uint8_t choice, std::vector<std::string> strings) {
    const bool caseSensitive = (choice & 0x08) != 0;
    const bool required = (choice & 0x10) != 0;
    const auto level = static_cast<LogLevel>((choice >> 5) % 5);
    switch (choice % 7) {
        case 0:
            return Filters::Path::startsWith(std::move(strings), caseSensitive, required, level);
        case 1:
            return Filters::Path::endsWith(std::move(strings), caseSensitive, required, level);
        case 2:
            return Filters::Function::contains(std::move(strings), caseSensitive, required, level);
        case 3:
            return Filters::Function::equals(std::move(strings), caseSensitive, required, level);
        case 4:
            return Filters::Message::excludes(std::move(strings), caseSensitive, required, level);
        case 5:
            return Filters::Message::contains(std::move(strings), caseSensitive, required, level);
        default:
            return Filters::Message::equals(std::move(strings), caseSensitive, required, level);
    }
}

}  // namespace

// The first byte picks the level and the filter kinds; the rest is cut into texts. The format
// is rendered as a line and as JSON, and the filters decide on the entry.
int fuzzLogFormat(const std::uint8_t* data, std::size_t size) {
    if (size == 0) {
        return 0;
    }
    const std::uint8_t choice = data[0];
    const auto texts = pieces(std::string_view(reinterpret_cast<const char*>(data) + 1, size - 1));
    const auto text = [&](std::size_t index) {
        return index < texts.size() ? texts[index] : std::string();
    };
    // One destination for every run, never destroyed: making one starts a queue.
    static auto& destination = *new BaseDestination();
    const auto level = static_cast<LogLevel>(choice % 5);
    const std::string format = text(0);
    const std::string message = text(1);
    const std::string file = text(2);
    const std::string function = text(3);
    (void)destination.formatMessage(format, level, message, "fuzz", file, function, 7,
                                    LogValue(message));
    (void)destination.messageToJSON(level, message, "fuzz", file, function, 7, LogValue(format));

    std::vector<std::shared_ptr<FilterType>> filters;
    for (std::size_t i = 4; i < texts.size() && filters.size() < 4; i += 2) {
        filters.push_back(
            makeFilter(static_cast<std::uint8_t>(choice + i), {text(i), text(i + 1)}));
        destination.addFilter(filters.back());
    }
    (void)destination.shouldLevelBeLogged(level, file, function, message);
    (void)destination.shouldLevelBeLogged(level, file, function, std::nullopt);
    for (const auto& filter : filters) {
        destination.removeFilter(filter);
    }
    return 0;
}

}  // namespace tarnwick::fuzz
