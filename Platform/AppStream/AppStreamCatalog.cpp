#include "AppStreamCatalog.h"

#include "Foundation/OutsideFile.h"
#include "Foundation/PinnedDirectory.h"

#include <algorithm>
#include <appstream.h>
#include <memory>
#include <zlib.h>

namespace tarnwick {

namespace {

template <typename T>
struct GObjectDeleter {
    void operator()(T* object) const { g_object_unref(object); }
};
template <typename T>
using GObjectPointer = std::unique_ptr<T, GObjectDeleter<T>>;

std::string text(const char* value) {
    return value != nullptr ? std::string(value) : std::string();
}

std::optional<std::string> optionalText(const char* value) {
    if (value == nullptr || *value == '\0') {
        return std::nullopt;
    }
    return std::string(value);
}

// The catalog's description is a little markup: paragraphs and list items become lines.
std::string plainText(std::string_view markup) {
    std::string out;
    bool inTag = false;
    std::string tag;
    for (const char c : markup) {
        if (c == '<') {
            inTag = true;
            tag.clear();
        } else if (c == '>') {
            inTag = false;
            if ((tag == "/p" || tag == "/li") && !out.empty() && out.back() != '\n') {
                if (out.back() == ' ') {
                    out.pop_back();
                }
                out.push_back('\n');
            }
        } else if (inTag) {
            tag.push_back(c);
        } else if (c == '\n' || c == '\t' || c == ' ') {
            // The markup's own line breaks and indentation are layout, not text.
            if (!out.empty() && out.back() != '\n' && out.back() != ' ') {
                out.push_back(' ');
            }
        } else {
            out.push_back(c);
        }
    }
    while (!out.empty() && (out.back() == '\n' || out.back() == ' ')) {
        out.pop_back();
    }
    return out;
}

// "pt_BR", "sr@latin" and "de.UTF-8" are languages "pt", "sr" and "de".
std::string languageOf(std::string locale) {
    const auto end = locale.find_first_of("_@.-");
    if (end != std::string::npos) {
        locale.resize(end);
    }
    return locale;
}

AppStreamComponent componentOf(AsComponent* source) {
    as_component_set_active_locale(source, "C");
    AppStreamComponent component;
    component.id = text(as_component_get_id(source));
    component.name = text(as_component_get_name(source));
    component.summary = text(as_component_get_summary(source));
    component.description = plainText(text(as_component_get_description(source)));
    component.developerName = optionalText(as_component_get_developer_name(source));
    component.homepage = optionalText(as_component_get_url(source, AS_URL_KIND_HOMEPAGE));
    component.packageName = optionalText(as_component_get_pkgname(source));
    GList* languages = as_component_get_languages(source);
    for (GList* item = languages; item != nullptr; item = item->next) {
        auto language = languageOf(text(static_cast<const char*>(item->data)));
        if (!language.empty()) {
            component.languages.push_back(std::move(language));
        }
    }
    g_list_free(languages);
    // The library keeps them in a hash table: sorted, so every scan reads them alike, and then
    // each once ("pt_BR" and "pt_PT" are both "pt"); a file may list a great many.
    std::sort(component.languages.begin(), component.languages.end());
    component.languages.erase(std::unique(component.languages.begin(), component.languages.end()),
                              component.languages.end());
    if (GPtrArray* categories = as_component_get_categories(source)) {
        for (guint i = 0; i < categories->len; ++i) {
            component.categories.push_back(text(static_cast<const char*>(categories->pdata[i])));
        }
    }
    if (AsLaunchable* launchable =
            as_component_get_launchable(source, AS_LAUNCHABLE_KIND_DESKTOP_ID)) {
        if (GPtrArray* entries = as_launchable_get_entries(launchable)) {
            for (guint i = 0; i < entries->len; ++i) {
                component.launchables.push_back(text(static_cast<const char*>(entries->pdata[i])));
            }
        }
    }
    return component;
}

std::optional<std::string> inflated(const std::string& compressed) {
    z_stream stream{};
    // 16 + window bits: a gzip header, not a bare zlib one.
    if (inflateInit2(&stream, 16 + MAX_WBITS) != Z_OK) {
        return std::nullopt;
    }
    std::string out;
    stream.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(compressed.data()));
    stream.avail_in = static_cast<uInt>(compressed.size());
    int status = Z_OK;
    while (status == Z_OK) {
        if (out.size() >= AppStreamCatalog::kMaximumInflatedBytes) {
            status = Z_MEM_ERROR;
            break;
        }
        const std::size_t start = out.size();
        out.resize(start + (1u << 20));
        stream.next_out = reinterpret_cast<Bytef*>(out.data() + start);
        stream.avail_out = 1u << 20;
        status = inflate(&stream, Z_NO_FLUSH);
        out.resize(start + (1u << 20) - stream.avail_out);
        if (status == Z_BUF_ERROR && stream.avail_in == 0) {
            break;  // a truncated file: no more input to finish with
        }
    }
    inflateEnd(&stream);
    if (status != Z_STREAM_END) {
        return std::nullopt;
    }
    return out;
}

std::string desktopIDWithout(std::string id) {
    if (id.ends_with(".desktop")) {
        id.resize(id.size() - 8);
    }
    return id;
}

std::vector<std::string> sortedEntries(const std::filesystem::path& folder) {
    auto pinned = PinnedDirectory::openNotFollowingLast(folder);
    if (!pinned) {
        return {};
    }
    auto names = pinned->entries();
    if (!names) {
        return {};
    }
    std::sort(names->begin(), names->end());
    return *names;
}

// Whether a component's ID or one of the desktop IDs it names is wanted.
bool anyWanted(const std::vector<std::string_view>& ids, const std::set<std::string>& wanted) {
    return std::any_of(ids.begin(), ids.end(), [&](std::string_view id) {
        return wanted.count(desktopIDWithout(std::string(id))) != 0;
    });
}

// The texts between `open` and the next `close` in `text`.
std::vector<std::string_view> between(std::string_view text, std::string_view open,
                                      std::string_view close) {
    std::vector<std::string_view> found;
    for (auto at = text.find(open); at != std::string_view::npos; at = text.find(open, at)) {
        at += open.size();
        const auto end = text.find(close, at);
        if (end == std::string_view::npos) {
            break;
        }
        found.push_back(text.substr(at, end - at));
        at = end;
    }
    return found;
}

// The name of an XML document's root element, past a byte-order mark, the declaration,
// processing instructions, comments and a document type; empty when there is none.
std::string_view rootElement(std::string_view text) {
    if (text.starts_with("\xEF\xBB\xBF")) {
        text.remove_prefix(3);
    }
    for (;;) {
        const auto start = text.find_first_not_of(" \t\r\n");
        if (start == std::string_view::npos || text[start] != '<') {
            return {};
        }
        text.remove_prefix(start);
        std::string_view close;
        if (text.starts_with("<?")) {
            close = "?>";
        } else if (text.starts_with("<!--")) {
            close = "-->";
        } else if (text.starts_with("<!")) {
            // A document type, with its internal subset in brackets when it has one.
            const auto bracket = text.find('[');
            const auto angle = text.find('>');
            close = bracket != std::string_view::npos && bracket < angle ? "]>" : ">";
        } else {
            text.remove_prefix(1);
            const auto end = text.find_first_of(" \t\r\n/>");
            return text.substr(0, end == std::string_view::npos ? text.size() : end);
        }
        const auto end = text.find(close, 2);
        if (end == std::string_view::npos) {
            return {};
        }
        text.remove_prefix(end + close.size());
    }
}

}  // namespace

std::string AppStreamCatalog::wantedXMLComponents(std::string_view text,
                                                  const std::set<std::string>& wanted) {
    // A catalog is a list of <component> elements under one <components>: the root's opening is
    // kept, then only the components that name a wanted ID.
    constexpr std::string_view open = "<component";
    constexpr std::string_view close = "</component>";
    const auto isComponentStart = [&](std::size_t at) {
        const auto next = at + open.size();
        return next < text.size() &&
               (text[next] == ' ' || text[next] == '>' || text[next] == '\n' || text[next] == '\t');
    };
    auto at = text.find(open);
    while (at != std::string_view::npos && !isComponentStart(at)) {
        at = text.find(open, at + 1);
    }
    if (at == std::string_view::npos) {
        return std::string(text);
    }
    std::string kept(text.substr(0, at));
    while (at != std::string_view::npos) {
        const auto end = text.find(close, at);
        if (end == std::string_view::npos) {
            break;
        }
        const auto component = text.substr(at, end + close.size() - at);
        auto ids = between(component, "<id>", "</id>");
        const auto launchables = between(component, "type=\"desktop-id\">", "</launchable>");
        ids.insert(ids.end(), launchables.begin(), launchables.end());
        if (anyWanted(ids, wanted)) {
            kept += component;
            kept += '\n';
        }
        at = text.find(open, end + close.size());
        while (at != std::string_view::npos && !isComponentStart(at)) {
            at = text.find(open, at + 1);
        }
    }
    kept += "</components>\n";
    return kept;
}

std::string AppStreamCatalog::wantedYAMLDocuments(std::string_view text,
                                                  const std::set<std::string>& wanted) {
    // One document per component after a header document; a document is kept when its "ID:" or a
    // "- <id>.desktop" item names a wanted ID.
    std::string kept;
    bool header = true;
    while (!text.empty()) {
        auto end = text.find("\n---");
        const auto document = text.substr(0, end == std::string_view::npos ? text.size() : end + 1);
        text.remove_prefix(document.size());
        std::vector<std::string_view> ids;
        std::string_view rest = document;
        while (!rest.empty()) {
            const auto lineEnd = rest.find('\n');
            auto line = rest.substr(0, lineEnd);
            rest.remove_prefix(lineEnd == std::string_view::npos ? rest.size() : lineEnd + 1);
            if (line.starts_with("ID: ")) {
                ids.push_back(line.substr(4));
            } else if (const auto item = line.find("- ");
                       item != std::string_view::npos && line.ends_with(".desktop")) {
                ids.push_back(line.substr(item + 2));
            }
        }
        if (header || anyWanted(ids, wanted)) {
            kept += document;
        }
        header = false;
    }
    return kept;
}

std::vector<AppStreamComponent> AppStreamCatalog::parse(std::string_view bytes, bool collection,
                                                        bool yaml) {
    // libappstream keeps for good the whole document of any other XML it is handed: a file that
    // is no catalog and no metainfo is not given to it.
    if (!yaml) {
        const auto root = rootElement(bytes);
        if (root != "component" && root != "components") {
            return {};
        }
    }
    GObjectPointer<AsMetadata> metadata(as_metadata_new());
    as_metadata_set_format_style(
        metadata.get(), collection ? AS_FORMAT_STYLE_COLLECTION : AS_FORMAT_STYLE_METAINFO);
    as_metadata_set_locale(metadata.get(), "ALL");
    GBytes* data = g_bytes_new(bytes.data(), bytes.size());
    GError* error = nullptr;
    const gboolean parsed = as_metadata_parse_bytes(
        metadata.get(), data, yaml ? AS_FORMAT_KIND_YAML : AS_FORMAT_KIND_XML, &error);
    g_bytes_unref(data);
    std::vector<AppStreamComponent> components;
    if (!parsed) {
        g_clear_error(&error);
        return components;
    }
    GPtrArray* found = as_metadata_get_components(metadata.get());
    for (guint i = 0; found != nullptr && i < found->len; ++i) {
        components.push_back(componentOf(static_cast<AsComponent*>(found->pdata[i])));
    }
    return components;
}

AppStreamCatalog::Locations AppStreamCatalog::Locations::forDataFolders(
    const std::vector<std::filesystem::path>& dataFolders) {
    Locations locations;
    for (const auto& folder : dataFolders) {
        locations.metainfoFolders.push_back(folder / "metainfo");
        locations.metainfoFolders.push_back(folder / "appdata");
        locations.catalogs.push_back(folder / "swcatalog" / "xml");
        locations.catalogs.push_back(folder / "app-info" / "xmls");
        // A Flatpak installation exports its applications to <installation>/exports/share; its
        // catalogs are <installation>/appstream/<remote>/<arch>/active/appstream.xml.gz.
        if (folder.filename() == "share" && folder.parent_path().filename() == "exports") {
            const auto appstream = folder.parent_path().parent_path() / "appstream";
            for (const auto& remote : sortedEntries(appstream)) {
                for (const auto& arch : sortedEntries(appstream / remote)) {
                    locations.catalogs.push_back(appstream / remote / arch / "active" /
                                                 "appstream.xml.gz");
                }
            }
        }
    }
    // The distribution's catalog, which apt keeps up to date.
    locations.catalogs.push_back("/var/lib/swcatalog/yaml");
    locations.catalogs.push_back("/var/lib/app-info/yaml");
    return locations;
}

AppStreamCatalog::AppStreamCatalog(const Locations& locations,
                                   const std::set<std::string>& wanted) {
    const auto readFile = [&](const std::filesystem::path& path, bool collection) {
        const auto name = path.filename().string();
        const bool gzip = name.ends_with(".gz");
        const auto plainName = gzip ? name.substr(0, name.size() - 3) : name;
        const bool yaml = plainName.ends_with(".yml") || plainName.ends_with(".yaml");
        if (!yaml && !plainName.ends_with(".xml")) {
            return;
        }
        auto bytes = OutsideFile::read(path, kMaximumFileBytes);
        if (!bytes) {
            return;
        }
        if (gzip) {
            auto plain = inflated(*bytes);
            if (!plain) {
                return;
            }
            *bytes = std::move(*plain);
        }
        if (collection) {
            *bytes =
                yaml ? wantedYAMLDocuments(*bytes, wanted) : wantedXMLComponents(*bytes, wanted);
        }
        add(parse(*bytes, collection, yaml), wanted);
    };
    for (const auto& folder : locations.metainfoFolders) {
        for (const auto& name : sortedEntries(folder)) {
            readFile(folder / name, false);
        }
    }
    for (const auto& catalog : locations.catalogs) {
        const auto names = sortedEntries(catalog);
        if (names.empty()) {
            readFile(catalog, true);  // a catalog file rather than a folder of them
        }
        for (const auto& name : names) {
            readFile(catalog / name, true);
        }
    }
}

void AppStreamCatalog::add(std::vector<AppStreamComponent> components,
                           const std::set<std::string>& wanted) {
    for (auto& component : components) {
        std::vector<std::string> keys{desktopIDWithout(component.id)};
        for (const auto& launchable : component.launchables) {
            keys.push_back(desktopIDWithout(launchable));
        }
        std::vector<std::string> kept;
        for (auto& key : keys) {
            if (wanted.count(key) != 0 && m_byID.count(key) == 0) {
                kept.push_back(std::move(key));
            }
        }
        if (kept.empty()) {
            continue;
        }
        m_components.push_back(std::move(component));
        for (auto& key : kept) {
            m_byID.emplace(std::move(key), m_components.size() - 1);
        }
    }
}

const AppStreamComponent* AppStreamCatalog::component(const std::string& desktopID) const {
    const auto found = m_byID.find(desktopIDWithout(desktopID));
    return found == m_byID.end() ? nullptr : &m_components[found->second];
}

}  // namespace tarnwick
