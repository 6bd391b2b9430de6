#include "IconTheme.h"

#include "Foundation/OutsideFile.h"
#include "Foundation/Text.h"
#include "Workspace/SearchPath.h"

#include <algorithm>
#include <cstdlib>
#include <map>
#include <set>

namespace tarnwick {

namespace {

constexpr std::string_view kFallbackTheme = "hicolor";

// A name that stays one folder or file name: nothing climbs out of the folder it is put in.
bool isPlainName(std::string_view name) {
    return !name.empty() && name != "." && name != ".." &&
           name.find('/') == std::string_view::npos && name.find('\0') == std::string_view::npos;
}

std::vector<std::string> commaList(std::string_view text) {
    std::vector<std::string> items;
    while (!text.empty()) {
        const auto end = text.find(',');
        const auto item = trimmed(text.substr(0, end));
        text.remove_prefix(end == std::string_view::npos ? text.size() : end + 1);
        if (!item.empty()) {
            items.emplace_back(item);
        }
    }
    return items;
}

void addAbsoluteFolders(const char* list, std::string_view leaf,
                        std::vector<std::filesystem::path>& out) {
    for (const auto& folder : absoluteFolders(list)) {
        out.push_back((folder / leaf).lexically_normal());
    }
}

}  // namespace

IconTheme::Folders IconTheme::Folders::fromEnvironment() {
    Folders folders;
    const char* home = std::getenv("HOME");
    const std::filesystem::path homeFolder(home != nullptr ? home : "");
    if (homeFolder.is_absolute()) {
        folders.baseDirectories.push_back(homeFolder / ".icons");
    }
    const auto before = folders.baseDirectories.size();
    addAbsoluteFolders(std::getenv("XDG_DATA_HOME"), "icons", folders.baseDirectories);
    if (folders.baseDirectories.size() == before && homeFolder.is_absolute()) {
        folders.baseDirectories.push_back(homeFolder / ".local/share/icons");
    }
    const auto beforeDirs = folders.baseDirectories.size();
    addAbsoluteFolders(std::getenv("XDG_DATA_DIRS"), "icons", folders.baseDirectories);
    if (folders.baseDirectories.size() == beforeDirs) {
        folders.baseDirectories.push_back("/usr/local/share/icons");
        folders.baseDirectories.push_back("/usr/share/icons");
    }
    folders.pixmapDirectories.push_back("/usr/share/pixmaps");
    return folders;
}

IconTheme::IconTheme(Folders folders, std::string themeName)
    : m_folders(std::move(folders)), m_themeName(std::move(themeName)) {}

bool IconTheme::Directory::matches(int wanted) const {
    return scale == 1 && distance(wanted) == 0;
}

int IconTheme::Directory::distance(int wanted) const {
    const int scaled = wanted * scale;
    switch (type) {
        case Type::fixed:
            return std::abs(size * scale - scaled);
        case Type::scalable:
            if (scaled < minimumSize * scale) {
                return minimumSize * scale - scaled;
            }
            return scaled > maximumSize * scale ? scaled - maximumSize * scale : 0;
        case Type::threshold:
            if (scaled < (size - threshold) * scale) {
                return (size - threshold) * scale - scaled;
            }
            return scaled > (size + threshold) * scale ? scaled - (size + threshold) * scale : 0;
    }
    return 0;
}

std::optional<IconTheme::Theme> IconTheme::readTheme(const std::string& name) const {
    if (!isPlainName(name)) {
        return std::nullopt;
    }
    std::optional<std::string> index;
    for (const auto& base : m_folders.baseDirectories) {
        if (auto text = OutsideFile::read(base / name / "index.theme", kMaximumIndexBytes)) {
            index = std::move(*text);
            break;
        }
    }
    if (!index) {
        return std::nullopt;
    }
    return parseIndex(name, *index);
}

IconTheme::Theme IconTheme::parseIndex(std::string name, std::string_view text) {
    // One pass over the index: the theme's own group names its folders and parents, every other
    // group describes one folder.
    Theme theme;
    theme.name = std::move(name);
    std::vector<std::string> listed;
    std::map<std::string, Directory, std::less<>> described;
    Directory* current = nullptr;
    std::string group;
    std::string_view rest = text;
    while (!rest.empty()) {
        const auto end = rest.find('\n');
        const auto line = trimmed(rest.substr(0, end));
        rest.remove_prefix(end == std::string_view::npos ? rest.size() : end + 1);
        if (line.empty() || line.front() == '#') {
            continue;
        }
        if (line.front() == '[' && line.back() == ']') {
            group = std::string(line.substr(1, line.size() - 2));
            current = nullptr;
            if (group != "Icon Theme") {
                if (described.size() >= kMaximumDirectories) {
                    break;
                }
                // A group written twice is described by its first.
                auto [at, added] = described.try_emplace(group, Directory{group});
                current = added ? &at->second : nullptr;
            }
            continue;
        }
        const auto equals = line.find('=');
        if (equals == std::string_view::npos || group.empty()) {
            continue;
        }
        const auto key = trimmed(line.substr(0, equals));
        const auto value = trimmed(line.substr(equals + 1));
        if (group == "Icon Theme") {
            if (key == "Directories" || key == "ScaledDirectories") {
                for (auto& folder : commaList(value)) {
                    if (listed.size() < kMaximumDirectories) {
                        listed.push_back(std::move(folder));
                    }
                }
            } else if (key == "Inherits") {
                theme.parents = commaList(value);
                theme.parents.resize(std::min(theme.parents.size(), kMaximumThemes));
            }
            continue;
        }
        if (current == nullptr) {
            continue;
        }
        auto& directory = *current;
        const auto number = wholeNumber<int>(value);
        if (key == "Type") {
            directory.type = value == "Fixed"      ? Directory::Type::fixed
                             : value == "Scalable" ? Directory::Type::scalable
                                                   : Directory::Type::threshold;
        } else if (number && *number >= 0 && *number <= 65536) {
            if (key == "Size") {
                directory.size = *number;
            } else if (key == "MinSize") {
                directory.minimumSize = *number;
            } else if (key == "MaxSize") {
                directory.maximumSize = *number;
            } else if (key == "Threshold") {
                directory.threshold = *number;
            } else if (key == "Scale" && *number > 0 && *number <= 16) {
                directory.scale = *number;
            }
        }
    }
    // Only the listed folders count, and only with a size: the rest of the index is ignored.
    std::set<std::string> seen;
    for (const auto& folder : listed) {
        if (theme.directories.size() >= kMaximumDirectories || !seen.insert(folder).second) {
            continue;
        }
        const auto found = described.find(folder);
        const auto normal = std::filesystem::path(folder).lexically_normal();
        if (found == described.end() || found->second.size <= 0 || normal.is_absolute() ||
            (!normal.empty() && *normal.begin() == "..")) {
            continue;
        }
        auto directory = found->second;
        if (directory.minimumSize == 0) {
            directory.minimumSize = directory.size;
        }
        if (directory.maximumSize == 0) {
            directory.maximumSize = directory.size;
        }
        theme.directories.push_back(std::move(directory));
    }
    return theme;
}

std::optional<IconTheme::Icon> IconTheme::read(const std::filesystem::path& folder,
                                               std::string_view name) const {
    static constexpr std::pair<std::string_view, Icon::Format> kExtensions[] = {
        {".png", Icon::Format::png}, {".svg", Icon::Format::svg}, {".xpm", Icon::Format::xpm}};
    for (const auto& [extension, format] : kExtensions) {
        auto path = folder / (std::string(name) + std::string(extension));
        if (auto bytes = OutsideFile::read(path, kMaximumIconBytes)) {
            return Icon{std::move(*bytes), format, std::move(path)};
        }
    }
    return std::nullopt;
}

std::optional<IconTheme::Icon> IconTheme::lookupIn(const Theme& theme, std::string_view name,
                                                   int size) const {
    // The folders made for this size come first (distance 0), then the closest; among equals the
    // index's order stands.
    std::vector<const Directory*> order;
    for (const auto& directory : theme.directories) {
        order.push_back(&directory);
    }
    std::stable_sort(order.begin(), order.end(), [size](const Directory* a, const Directory* b) {
        const int left = a->matches(size) ? -1 : a->distance(size);
        const int right = b->matches(size) ? -1 : b->distance(size);
        return left < right;
    });
    for (const auto* directory : order) {
        for (const auto& base : m_folders.baseDirectories) {
            if (auto icon = read(base / theme.name / directory->path, name)) {
                return icon;
            }
        }
    }
    return std::nullopt;
}

std::optional<IconTheme::Icon> IconTheme::lookup(std::string_view requested, int size) const {
    std::string name(requested);
    // "foo.png" in an entry means the icon foo.
    for (const std::string_view extension : {".png", ".svg", ".xpm"}) {
        if (name.size() > extension.size() && name.ends_with(extension)) {
            name.resize(name.size() - extension.size());
            break;
        }
    }
    if (!isPlainName(name)) {
        return std::nullopt;
    }
    // The chosen theme and its parents, depth first, then hicolor; each theme once.
    std::vector<std::string> pending{m_themeName.empty() ? std::string(kFallbackTheme)
                                                         : m_themeName};
    std::set<std::string> visited;
    bool fallbackSearched = false;
    while (visited.size() < kMaximumThemes) {
        if (pending.empty()) {
            if (fallbackSearched) {
                break;
            }
            fallbackSearched = true;
            pending.emplace_back(kFallbackTheme);
        }
        const std::string themeName = pending.back();
        pending.pop_back();
        if (!visited.insert(themeName).second) {
            continue;
        }
        const auto theme = readTheme(themeName);
        if (!theme) {
            continue;
        }
        if (auto icon = lookupIn(*theme, name, size)) {
            return icon;
        }
        for (auto parent = theme->parents.rbegin(); parent != theme->parents.rend(); ++parent) {
            pending.push_back(*parent);
        }
    }
    for (const auto& base : m_folders.baseDirectories) {
        if (auto icon = read(base, name)) {
            return icon;
        }
    }
    for (const auto& pixmaps : m_folders.pixmapDirectories) {
        if (auto icon = read(pixmaps, name)) {
            return icon;
        }
    }
    return std::nullopt;
}

}  // namespace tarnwick
