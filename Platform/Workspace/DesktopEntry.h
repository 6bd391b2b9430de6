#pragma once

#include "Foundation/Result.h"

#include <cstddef>
#include <filesystem>
#include <functional>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace tarnwick {

// An entry of the desktop's menu: a ".desktop" file of the freedesktop.org Desktop Entry format.
// Its "[Desktop Entry]" group is read: every untranslated key with the string escapes (\s \n \t
// \r \\) undone, and the translations of Name. Comments, blank lines and the groups that follow
// (the entry's actions) are skipped.
class DesktopEntry {
public:
    // Larger files, or groups with more keys, are not desktop entries.
    static constexpr std::size_t kMaximumBytes = std::size_t{1} << 20;
    static constexpr std::size_t kMaximumKeys = 4096;

    // Any entry, hidden or not, of any type: a Hidden entry still hides later ones of its
    // desktop-file ID. An error for text without the group or past the bounds above.
    static Result<DesktopEntry, std::string> parseGroup(std::string_view contents,
                                                        std::string identifier);
    static Result<DesktopEntry, std::string> readGroup(const std::filesystem::path& file,
                                                       std::string identifier);

    // Nothing when the text holds no application entry, or one marked Hidden (a deleted entry).
    static std::optional<DesktopEntry> parse(std::string_view contents, std::string identifier);
    static std::optional<DesktopEntry> read(const std::filesystem::path& file,
                                            std::string identifier);

    // The desktop-file ID without ".desktop": "org.example.Editor".
    const std::string& identifier() const { return m_identifier; }

    // An untranslated key's value; the first of a repeated key counts, as desktops read it.
    std::optional<std::string> string(std::string_view key) const;
    // "true" only; anything else, or no key, is false.
    bool boolean(std::string_view key) const;

    bool isApplication() const { return string("Type") == "Application"; }
    // An application that a desktop would list: neither NoDisplay nor Hidden.
    bool isListedApplication() const;

    // The name for a POSIX locale ("de_AT.UTF-8@euro"): Name[de_AT@euro], Name[de_AT],
    // Name[de@euro], Name[de], then Name.
    std::optional<std::string> name(std::string_view locale) const;

    // The program the entry starts: TryExec, else the first argument of Exec (after "env" and
    // its VAR=value words).
    std::optional<std::string> program() const;

    // The Icon key: a name in the icon theme, or an absolute path to an image file.
    std::optional<std::string> icon() const { return string("Icon"); }

    // The arguments of an Exec value, quoting undone and field codes (%f, %U, ...) dropped; a
    // value with an unterminated quote gives none.
    static std::optional<std::vector<std::string>> execArguments(std::string_view exec);

private:
    DesktopEntry() = default;

    std::string m_identifier;
    std::map<std::string, std::string, std::less<>> m_values;
    std::map<std::string, std::string, std::less<>> m_translatedNames;  // by locale
};

}  // namespace tarnwick
