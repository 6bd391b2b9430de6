#pragma once

#include "Foundation/Result.h"

#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace tarnwick {

// The "[Desktop Entry]" group of a desktop entry file: what a desktop reads to show and start an
// application. Only untranslated keys are kept (a key with a locale, "Name[de]", is left out), with
// the string escapes (\s \n \t \r \\) undone. Lines outside that group, comments and blank lines
// are skipped; a file without the group, or longer than the reader accepts, is an error.
class DesktopEntryGroup {
public:
    static constexpr std::size_t kMaximumBytes = 1u << 20;
    static constexpr std::size_t kMaximumKeys = 4096;

    static Result<DesktopEntryGroup, std::string> parse(std::string_view text);

    std::optional<std::string> string(const std::string& key) const;
    // "true" only; anything else, or no key, is false.
    bool boolean(const std::string& key) const;

    // An application that a desktop would list: of type Application and neither NoDisplay nor
    // Hidden.
    bool isListedApplication() const;

    // The arguments of an "Exec" value, quoting undone and field codes (%f, %U, ...) dropped; a
    // value with an unterminated quote gives none.
    static std::optional<std::vector<std::string>> execArguments(std::string_view exec);

private:
    std::map<std::string, std::string, std::less<>> m_values;
};

}  // namespace tarnwick
