#pragma once

#include <cstddef>
#include <filesystem>
#include <map>
#include <optional>
#include <string>
#include <string_view>

namespace tarnwick {

// An application entry of the desktop's menu: a ".desktop" file of the freedesktop.org Desktop
// Entry format. Only what finds, names and pictures an application is read: the [Desktop Entry]
// group's Type, Hidden, Name (with its translations), TryExec, Exec and Icon.
class DesktopEntry {
public:
    // Nothing when the text holds no application entry, or one marked Hidden (a deleted entry).
    static std::optional<DesktopEntry> parse(std::string_view contents, std::string identifier);
    static std::optional<DesktopEntry> read(const std::filesystem::path& file,
                                            std::string identifier);

    // The desktop-file ID without ".desktop": "org.example.Editor".
    const std::string& identifier() const { return m_identifier; }

    // The name for a POSIX locale ("de_AT.UTF-8@euro"): Name[de_AT@euro], Name[de_AT],
    // Name[de@euro], Name[de], then Name.
    std::optional<std::string> name(std::string_view locale) const;

    // The program the entry starts: TryExec, else the first word of Exec (after "env" and its
    // VAR=value words), without quotes.
    std::optional<std::string> program() const;

    // The Icon key: a name in the icon theme, or an absolute path to an image file.
    const std::optional<std::string>& icon() const { return m_icon; }

    // Larger files are not desktop entries.
    static constexpr std::size_t maximumFileBytes = 1024 * 1024;

private:
    DesktopEntry() = default;

    std::string m_identifier;
    std::map<std::string, std::string> m_names;  // "" for the untranslated Name
    std::optional<std::string> m_tryExec;
    std::optional<std::string> m_exec;
    std::optional<std::string> m_icon;
};

}  // namespace tarnwick
