#pragma once

#include <cstdint>
#include <filesystem>
#include <map>
#include <optional>
#include <set>
#include <string>
#include <string_view>
#include <vector>

namespace tarnwick {

// What the local software catalog says of one application.
struct AppStreamComponent {
    std::string id;
    // Untranslated.
    std::string name;
    std::string summary;
    // Plain text: the markup's paragraphs, one per line.
    std::string description;
    std::optional<std::string> developerName;
    std::optional<std::string> homepage;
    // Languages of the application's own translations ("de", "pt"), in the catalog's order.
    std::vector<std::string> languages;
    std::vector<std::string> categories;
    std::optional<std::string> packageName;
    // The desktop-file IDs that start it ("org.example.App.desktop").
    std::vector<std::string> launchables;
};

// The components of the local catalog, looked up by desktop-file ID. Files are read the safe way
// (regular files only, size-limited; a gzip catalog is inflated up to a limit) and handed to
// libappstream as bytes; a file that cannot be read or parsed adds nothing. The first file that
// names a component wins, so the application's own metainfo comes before the catalogs.
class AppStreamCatalog {
public:
    static constexpr std::uint64_t kMaximumFileBytes = 64ull << 20;
    static constexpr std::uint64_t kMaximumInflatedBytes = 192ull << 20;

    struct Locations {
        // Folders of one-component metainfo files ("*.metainfo.xml", "*.appdata.xml").
        std::vector<std::filesystem::path> metainfoFolders;
        // Folders of catalogs ("*.xml", "*.xml.gz", "*.yml", "*.yml.gz"), and single catalog files.
        std::vector<std::filesystem::path> catalogs;

        // Where a desktop keeps them, for the given data folders (XDG_DATA_HOME first, then
        // XDG_DATA_DIRS); Flatpak's catalogs are found from its exports folder.
        static Locations forDataFolders(const std::vector<std::filesystem::path>& dataFolders);
    };

    // Reads every location now; only components whose ID or launchable is among `wanted` (desktop
    // IDs with or without ".desktop") are kept, so a big distribution catalog costs little memory.
    AppStreamCatalog(const Locations& locations, const std::set<std::string>& wanted);
    // Used for testing only
    static std::vector<AppStreamComponent> parse(std::string_view bytes, bool collection,
                                                 bool yaml);

    // A catalog cut down to the components that name a wanted ID, so that the library parses a few
    // dozen instead of the thousands a distribution or a remote lists.
    static std::string wantedXMLComponents(std::string_view text,
                                           const std::set<std::string>& wanted);
    static std::string wantedYAMLDocuments(std::string_view text,
                                           const std::set<std::string>& wanted);

    // The component of the desktop-file ID ("org.example.App.desktop" or without the suffix).
    const AppStreamComponent* component(const std::string& desktopID) const;

private:
    void add(std::vector<AppStreamComponent> components, const std::set<std::string>& wanted);

    std::vector<AppStreamComponent> m_components;
    std::map<std::string, std::size_t> m_byID;
};

}  // namespace tarnwick
