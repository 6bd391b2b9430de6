#include "Workspace.h"

#include "DesktopEntry.h"
#include "Foundation/Bundle.h"

#include <algorithm>
#include <cstdlib>
#include <map>
#include <mutex>
#include <set>
#include <sstream>
#include <system_error>

namespace tarnwick {

namespace fs = std::filesystem;

namespace {

// Entries that start a program through one of these say nothing about which process is theirs.
bool isLauncher(const fs::path& program) {
    static const std::set<std::string> launchers = {"sh",  "bash",    "dash", "env",
                                                    "zsh", "flatpak", "snap", "xdg-open"};
    return launchers.count(program.filename().string()) != 0;
}

std::optional<std::string> environment(const char* name) {
    const char* value = std::getenv(name);
    if (value == nullptr || *value == '\0') {
        return std::nullopt;
    }
    return std::string(value);
}

// The POSIX lookup order of the message catalogue's locale.
std::string environmentMessagesLocale() {
    for (const char* variable : {"LC_ALL", "LC_MESSAGES", "LANG"}) {
        if (auto locale = environment(variable)) {
            return *locale;
        }
    }
    return std::string(1, 'C');
}

std::vector<fs::path> splitPaths(const std::string& list) {
    std::vector<fs::path> paths;
    std::istringstream stream(list);
    std::string part;
    while (std::getline(stream, part, ':')) {
        if (!part.empty()) {
            paths.emplace_back(part);
        }
    }
    return paths;
}

fs::path resolved(const fs::path& path) {
    std::error_code error;
    auto real = fs::weakly_canonical(path, error);
    return error ? path.lexically_normal() : real;
}

fs::file_time_type modificationTime(const fs::path& directory) {
    std::error_code error;
    const auto time = fs::last_write_time(directory, error);
    return error ? fs::file_time_type::min() : time;
}

std::string desktopFileIdentifier(const fs::path& relative) {
    std::string identifier = relative.string();
    identifier.resize(identifier.size() - std::string_view(".desktop").size());
    std::replace(identifier.begin(), identifier.end(), '/', '-');
    return identifier;
}

std::optional<fs::path> executableOf(const fs::path& processFolder) {
    std::error_code error;
    auto target = fs::read_symlink(processFolder / "exe", error);
    if (error || target.empty()) {
        return std::nullopt;
    }
    // The kernel marks a replaced or removed executable this way.
    std::string text = target.string();
    const std::string deleted = " (deleted)";
    if (text.size() > deleted.size() && text.ends_with(deleted)) {
        text.resize(text.size() - deleted.size());
    }
    return fs::path(text);
}

std::optional<RunningApplication> bundledApplication(pid_t pid, const fs::path& executable) {
    const fs::path folder = executable.parent_path();
    const fs::path bundlePath = folder.parent_path().parent_path();
    if (folder.filename() != "MacOS" || folder.parent_path().filename() != "Contents" ||
        bundlePath.extension() != ".app") {
        return std::nullopt;
    }
    const Bundle bundle(bundlePath);
    auto identifier = bundle.bundleIdentifier();
    if (!identifier) {
        return std::nullopt;
    }
    auto name = bundle.stringForInfoDictionaryKey("CFBundleDisplayName");
    if (!name || name->empty()) {
        name = bundle.stringForInfoDictionaryKey("CFBundleName");
    }
    if (!name || name->empty()) {
        name = bundlePath.stem().string();
    }
    return RunningApplication{pid, std::move(identifier), std::move(name), bundlePath, executable};
}

}  // namespace

struct Workspace::DesktopIndex {
    std::vector<DesktopEntry> entries;
    // Canonical program path to the entry that starts it; the entry that wins comes first.
    std::map<fs::path, std::size_t> byProgram;
    std::map<fs::path, fs::file_time_type> directoryTimes;
};

struct Workspace::Cache {
    std::mutex mutex;
    std::shared_ptr<const DesktopIndex> index;
};

Workspace::Configuration Workspace::Configuration::fromEnvironment() {
    Configuration configuration;
    std::vector<fs::path> dataDirectories;
    if (auto dataHome = environment("XDG_DATA_HOME")) {
        dataDirectories.emplace_back(*dataHome);
    } else if (auto home = environment("HOME")) {
        dataDirectories.push_back(fs::path(*home) / ".local" / "share");
    }
    for (auto& directory :
         splitPaths(environment("XDG_DATA_DIRS").value_or("/usr/local/share:/usr/share"))) {
        dataDirectories.push_back(std::move(directory));
    }
    for (const auto& directory : dataDirectories) {
        configuration.desktopEntryDirectories.push_back(directory / "applications");
    }
    configuration.searchPath =
        splitPaths(environment("PATH").value_or("/usr/local/bin:/usr/bin:/bin"));
    configuration.messagesLocale = environmentMessagesLocale();
    configuration.applicationDirectories.emplace_back("/Applications");
    if (auto home = environment("HOME")) {
        configuration.applicationDirectories.push_back(fs::path(*home) / "Applications");
        configuration.applicationDirectories.push_back(fs::path(*home) / "Downloads");
    }
    return configuration;
}

Workspace::Workspace(Configuration configuration)
    : m_configuration(std::move(configuration)), m_cache(std::make_unique<Cache>()) {}

Workspace::~Workspace() = default;

Workspace& Workspace::shared() {
    static Workspace workspace(Configuration::fromEnvironment());
    return workspace;
}

std::shared_ptr<const Workspace::DesktopIndex> Workspace::desktopIndex() const {
    std::lock_guard lock(m_cache->mutex);
    // Reading every entry again on each question would be slow; a changed folder is noticed by
    // its modification time.
    if (m_cache->index) {
        const bool unchanged = std::all_of(
            m_cache->index->directoryTimes.begin(), m_cache->index->directoryTimes.end(),
            [](const auto& entry) { return modificationTime(entry.first) == entry.second; });
        if (unchanged) {
            return m_cache->index;
        }
    }
    auto index = std::make_shared<DesktopIndex>();
    std::set<std::string> identifiers;
    for (const auto& directory : m_configuration.desktopEntryDirectories) {
        index->directoryTimes[directory] = modificationTime(directory);
        std::error_code error;
        fs::recursive_directory_iterator walk(directory,
                                              fs::directory_options::skip_permission_denied, error);
        for (; !error && walk != fs::recursive_directory_iterator(); walk.increment(error)) {
            const fs::path& path = walk->path();
            std::error_code unreadable;
            if (walk->is_directory(unreadable)) {
                index->directoryTimes[path] = modificationTime(path);
                continue;
            }
            if (path.extension() != ".desktop") {
                continue;
            }
            std::string identifier = desktopFileIdentifier(path.lexically_relative(directory));
            // An entry of a folder that wins hides the entries of the same ID after it.
            if (!identifiers.insert(identifier).second) {
                continue;
            }
            auto entry = DesktopEntry::read(path, std::move(identifier));
            if (!entry) {
                continue;
            }
            const auto program = entry->program();
            if (!program || isLauncher(*program)) {
                continue;
            }
            std::vector<fs::path> candidates;
            if (fs::path(*program).is_absolute()) {
                candidates.emplace_back(*program);
            } else if (program->find('/') == std::string::npos) {
                for (const auto& folder : m_configuration.searchPath) {
                    candidates.push_back(folder / *program);
                }
            }
            const std::size_t position = index->entries.size();
            index->entries.push_back(std::move(*entry));
            for (const auto& candidate : candidates) {
                std::error_code missing;
                if (fs::exists(candidate, missing)) {
                    index->byProgram.emplace(resolved(candidate), position);
                }
            }
        }
    }
    m_cache->index = index;
    return index;
}

std::vector<RunningApplication> Workspace::runningApplications() const {
    std::vector<pid_t> processes;
    std::error_code error;
    for (fs::directory_iterator walk(m_configuration.processRoot, error);
         !error && walk != fs::directory_iterator(); walk.increment(error)) {
        const std::string name = walk->path().filename().string();
        if (name.empty() || !std::all_of(name.begin(), name.end(), [](char character) {
                return character >= '0' && character <= '9';
            })) {
            continue;
        }
        processes.push_back(static_cast<pid_t>(std::strtol(name.c_str(), nullptr, 10)));
    }
    std::sort(processes.begin(), processes.end());

    std::shared_ptr<const DesktopIndex> index;
    std::vector<RunningApplication> applications;
    for (const pid_t pid : processes) {
        // A process may end at any moment; one whose executable cannot be read is passed over.
        const auto executable = executableOf(m_configuration.processRoot / std::to_string(pid));
        if (!executable) {
            continue;
        }
        if (auto application = bundledApplication(pid, *executable)) {
            applications.push_back(std::move(*application));
            continue;
        }
        if (!index) {
            index = desktopIndex();
        }
        const auto found = index->byProgram.find(resolved(*executable));
        if (found == index->byProgram.end()) {
            continue;
        }
        const DesktopEntry& entry = index->entries[found->second];
        applications.push_back(RunningApplication{pid, entry.identifier(),
                                                  entry.name(m_configuration.messagesLocale),
                                                  std::nullopt, *executable});
    }
    return applications;
}

std::optional<fs::path> Workspace::urlForApplication(std::string_view bundleIdentifier) const {
    if (bundleIdentifier.empty()) {
        return std::nullopt;
    }
    for (const auto& directory : m_configuration.applicationDirectories) {
        std::error_code error;
        fs::directory_iterator entries(directory, error);
        if (error) {
            continue;
        }
        // Sorted, so that of two copies the same one is found every time.
        std::vector<fs::path> bundles;
        for (auto entry = entries; !error && entry != fs::directory_iterator();
             entry.increment(error)) {
            if (entry->path().extension() == ".app" && entry->is_directory(error)) {
                bundles.push_back(entry->path());
            }
        }
        std::sort(bundles.begin(), bundles.end());
        for (const auto& bundle : bundles) {
            if (Bundle(bundle).bundleIdentifier() == bundleIdentifier) {
                return bundle;
            }
        }
    }
    return std::nullopt;
}

std::optional<IconImage> Workspace::iconForFile(const fs::path& bundlePath) const {
    const Bundle bundle(bundlePath);
    const auto name = bundle.stringForInfoDictionaryKey("CFBundleIconFile");
    // The name is a file of the bundle's own Resources folder, never a path out of it.
    if (!name || name->empty() || name->find('/') != std::string::npos || *name == "." ||
        *name == "..") {
        return std::nullopt;
    }
    fs::path file = bundle.resourcePath() / *name;
    if (!file.has_extension()) {
        file += ".icns";
    }
    auto family = IconFamily::read(file.string());
    if (!family) {
        return std::nullopt;
    }
    return family.value().largestImage();
}

}  // namespace tarnwick
