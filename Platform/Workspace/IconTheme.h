#pragma once

#include <cstddef>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace tarnwick {

// Finds a named icon of the desktop's icon theme as the desktop does: the chosen theme, the themes
// it inherits, then "hicolor", then the loose icons of the base folders and the pixmaps folder;
// within a theme the folder made for the size asked for, else the closest one. Any program of the
// user can put files in these folders, so every index and icon is opened the safe way (regular
// files only, never waiting on a FIFO or a device) and read within a size limit; an icon that
// cannot be read is passed over for the next candidate. The bytes go to an image reader; nothing
// here decodes them.
class IconTheme {
public:
    static constexpr std::uint64_t kMaximumIconBytes = 1u << 20;
    static constexpr std::uint64_t kMaximumIndexBytes = 256u << 10;
    // A theme's chain of parents, and the folders of one index, beyond any real theme's.
    static constexpr std::size_t kMaximumThemes = 16;
    static constexpr std::size_t kMaximumDirectories = 2048;

    struct Folders {
        // Where themes live, the first one first: ~/.icons, $XDG_DATA_HOME/icons and every
        // $XDG_DATA_DIRS/icons.
        std::vector<std::filesystem::path> baseDirectories;
        // Loose icons of old programs ("/usr/share/pixmaps").
        std::vector<std::filesystem::path> pixmapDirectories;

        // From HOME, XDG_DATA_HOME and XDG_DATA_DIRS, with the XDG base-directory defaults.
        static Folders fromEnvironment();
    };

    struct Icon {
        enum class Format { png, svg, xpm };
        std::string bytes;
        Format format = Format::png;
        std::filesystem::path path;
    };

    // `themeName` is the desktop's chosen theme; empty: "hicolor" alone.
    IconTheme(Folders folders, std::string themeName);

    // The icon `name` (a plain name such as "org.example.App"; a path is refused) for `size`
    // pixels, or none.
    std::optional<Icon> lookup(std::string_view name, int size) const;

    struct Directory {
        std::string path;
        int size = 0;
        int minimumSize = 0;
        int maximumSize = 0;
        int threshold = 2;
        int scale = 1;
        enum class Type { fixed, scalable, threshold } type = Type::threshold;

        bool matches(int wanted) const;
        int distance(int wanted) const;
    };
    struct Theme {
        std::string name;
        std::vector<Directory> directories;
        std::vector<std::string> parents;
    };

    // The folders and parents an index.theme names; bounded by kMaximumDirectories.
    static Theme parseIndex(std::string name, std::string_view text);

private:
    std::optional<Theme> readTheme(const std::string& name) const;
    std::optional<Icon> lookupIn(const Theme& theme, std::string_view name, int size) const;
    std::optional<Icon> read(const std::filesystem::path& folder, std::string_view name) const;

    Folders m_folders;
    std::string m_themeName;
};

}  // namespace tarnwick
