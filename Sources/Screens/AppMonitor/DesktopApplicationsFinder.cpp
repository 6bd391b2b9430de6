#include "DesktopApplicationsFinder.h"

#include "AppStream/AppStreamCatalog.h"
#include "DesktopApplication.h"
#include "ELF/ElfFile.h"
#include "Foundation/OutsideFile.h"
#include "Foundation/PinnedDirectory.h"
#include "Foundation/Text.h"
#include "Workspace/DesktopEntry.h"
#include "Workspace/SearchPath.h"

#include <algorithm>
#include <cctype>
#include <cstdlib>
#include <set>
#include <string_view>
#include <system_error>
#include <unistd.h>

namespace tarnwick {

namespace {

constexpr int kMaximumFolderDepth = 8;
constexpr std::size_t kMaximumEntries = 20000;
constexpr std::uint64_t kMaximumListBytes = 64ull << 20;
constexpr std::uint64_t kMaximumSmallFileBytes = 1ull << 20;

bool endsWith(std::string_view text, std::string_view suffix) {
    return text.size() >= suffix.size() && text.substr(text.size() - suffix.size()) == suffix;
}

std::vector<std::string> sortedNames(const PinnedDirectory& folder) {
    auto names = folder.entries();
    if (!names) {
        return {};
    }
    std::sort(names->begin(), names->end());
    return *names;
}

void collectEntries(const PinnedDirectory& folder, const std::string& prefix, int depth,
                    const std::filesystem::path& dataFolder, std::set<std::string>& seen,
                    std::vector<DesktopApplicationsFinder::EntryFile>& out) {
    for (const auto& name : sortedNames(folder)) {
        if (out.size() >= kMaximumEntries) {
            return;
        }
        if (endsWith(name, ".desktop")) {
            auto desktopID = prefix + name;
            if (seen.insert(desktopID).second) {
                out.push_back({std::move(desktopID), folder.path() / name, dataFolder});
            }
            continue;
        }
        if (depth >= kMaximumFolderDepth || name.front() == '.') {
            continue;
        }
        if (auto child = folder.openChild(name, {})) {
            collectEntries(*child, prefix + name + "-", depth + 1, dataFolder, seen, out);
        }
    }
}

std::string withoutDesktopSuffix(std::string id) {
    if (endsWith(id, ".desktop")) {
        id.resize(id.size() - 8);
    }
    return id;
}

bool isUnder(const std::filesystem::path& path, const std::filesystem::path& folder) {
    const auto relative = path.lexically_relative(folder);
    return !relative.empty() && *relative.begin() != "..";
}

// "--command=firefox" among a Flatpak launcher's arguments.
std::optional<std::string> flatpakCommand(const std::vector<std::string>& arguments) {
    for (const auto& argument : arguments) {
        if (argument.starts_with("--command=")) {
            return argument.substr(10);
        }
    }
    return std::nullopt;
}

std::optional<std::string> keyInFile(const std::filesystem::path& path, std::string_view key) {
    auto text = OutsideFile::read(path, kMaximumSmallFileBytes);
    if (!text) {
        return std::nullopt;
    }
    std::string_view rest = *text;
    while (!rest.empty()) {
        const auto end = rest.find('\n');
        const auto line = rest.substr(0, end);
        rest.remove_prefix(end == std::string_view::npos ? rest.size() : end + 1);
        if (line.starts_with(key) && line.size() > key.size() && line[key.size()] == '=') {
            return std::string(line.substr(key.size() + 1));
        }
    }
    return std::nullopt;
}

// "NAME=value", as env and the shell take it.
bool isAssignment(std::string_view word) {
    const auto equals = word.find('=');
    if (equals == 0 || equals == std::string_view::npos ||
        std::isdigit(static_cast<unsigned char>(word[0]))) {
        return false;
    }
    return std::all_of(
        word.begin(), word.begin() + static_cast<std::ptrdiff_t>(equals),
        [](char c) { return std::isalnum(static_cast<unsigned char>(c)) || c == '_'; });
}

bool isShell(std::string_view program) {
    const auto name = std::filesystem::path(program).filename();
    return name == "sh" || name == "bash" || name == "dash";
}

// The words of the command a shell's "-c" string runs last when all goes well: "pkill -15 foo-ui;
// foo-ui" and "cd /opt/foo && ./foo-ui" start foo-ui, so a wrapper that first stops or prepares
// something still names the application, which is what the string ends with; what follows "||"
// runs only when that failed, and of a pipeline ("foo | tee log") the first program does the work.
// Quotes and backslashes are taken as the shell takes them; none of the string is expanded, so a
// word the shell would expand ("$APP", `cmd`) is no program we can name.
std::vector<std::string> lastShellCommand(std::string_view script) {
    std::vector<std::vector<std::string>> commands(1);
    // Words after a "|" belong to a later program of the pipeline, those after "||" to a fallback.
    bool skipping = false;
    bool redirectTarget = false;  // the next word is the file of a ">" or "<"
    std::string word;
    bool hasWord = false;
    const auto endWord = [&] {
        if (hasWord && !skipping && !redirectTarget) {
            commands.back().push_back(std::move(word));
        }
        if (hasWord) {
            redirectTarget = false;
        }
        word.clear();
        hasWord = false;
    };
    // ">log", "2>&1", "&>/dev/null", "<in": none of it is a word of the command.
    const auto redirection = [&](std::size_t& at) {
        if (hasWord && std::all_of(word.begin(), word.end(), [](char c) {
                return std::isdigit(static_cast<unsigned char>(c));
            })) {
            word.clear();
            hasWord = false;  // "2" of "2>" is a descriptor
        }
        endWord();
        char last = script[at];
        while (at + 1 < script.size() &&
               std::string_view("<>&|").find(script[at + 1]) != std::string_view::npos) {
            last = script[++at];
        }
        if (last == '&' && at + 1 < script.size() &&
            (std::isdigit(static_cast<unsigned char>(script[at + 1])) || script[at + 1] == '-')) {
            while (at + 1 < script.size() &&
                   (std::isdigit(static_cast<unsigned char>(script[at + 1])) ||
                    script[at + 1] == '-')) {
                ++at;
            }
            return;  // ">&2": the target is a descriptor
        }
        redirectTarget = true;
    };
    const auto endCommand = [&] {
        endWord();
        skipping = false;
        redirectTarget = false;
        if (!commands.back().empty()) {
            commands.emplace_back();
        }
    };
    for (std::size_t at = 0; at < script.size(); ++at) {
        const char c = script[at];
        if (c == '\\' && at + 1 < script.size()) {
            word.push_back(script[++at]);
            hasWord = true;
        } else if (c == '\'' || c == '"') {
            const auto end = script.find(c, at + 1);
            const auto stop = end == std::string_view::npos ? script.size() : end;
            word.append(script.substr(at + 1, stop - at - 1));
            hasWord = true;
            at = stop;
        } else if (c == ' ' || c == '\t') {
            endWord();
        } else if (c == '#' && !hasWord) {
            const auto end = script.find('\n', at);
            at = (end == std::string_view::npos ? script.size() : end) - 1;
        } else if (c == '>' || c == '<' ||
                   (c == '&' && at + 1 < script.size() && script[at + 1] == '>')) {
            redirection(at);
        } else if (c == ';' || c == '&' || c == '\n') {
            endCommand();
        } else if (c == '|') {
            if (at + 1 < script.size() && script[at + 1] == '|') {
                ++at;
                endCommand();
            } else {
                endWord();
            }
            skipping = true;
        } else {
            word.push_back(c);
            hasWord = true;
        }
    }
    endWord();
    if (commands.back().empty()) {
        commands.pop_back();
    }
    return commands.empty() ? std::vector<std::string>{} : std::move(commands.back());
}

}  // namespace

std::optional<std::string> DesktopApplicationsFinder::execProgram(
    const std::vector<std::string>& arguments, int depth) {
    std::size_t index = 0;
    // "A=1 tool" (in a shell's string), "env A=1 B=2 tool --x", "exec tool": all run "tool".
    while (index < arguments.size()) {
        const auto& argument = arguments[index];
        const auto name = std::filesystem::path(argument).filename();
        if (name != "env" && name != "exec" && !isAssignment(argument)) {
            break;
        }
        ++index;
        while (name == "env" && index < arguments.size() && arguments[index].starts_with("-")) {
            // These two take the next argument as their value.
            const bool valued = arguments[index] == "-u" || arguments[index] == "-C";
            index += valued ? 2 : 1;
        }
    }
    if (index >= arguments.size() || arguments[index].empty()) {
        return std::nullopt;
    }
    const auto& program = arguments[index];
    if (program.find_first_of("$`(){}<>*?[~") != std::string::npos) {
        return std::nullopt;  // the shell would make something else of it
    }
    if (!isShell(program)) {
        return program;
    }
    // The shell is never the application: the program of its "-c" string is, else none.
    for (++index; index < arguments.size(); ++index) {
        const auto& option = arguments[index];
        if (!option.starts_with("-") || option == "-" || option == "--") {
            return std::nullopt;  // a script file, or standard input
        }
        if (!option.starts_with("--") && option.find('c') != std::string::npos) {
            if (index + 1 >= arguments.size() || depth >= 4) {
                return std::nullopt;
            }
            return execProgram(lastShellCommand(arguments[index + 1]), depth + 1);
        }
    }
    return std::nullopt;
}

DesktopApplicationsFinder::Folders DesktopApplicationsFinder::Folders::standard() {
    Folders folders;
    const char* homeText = std::getenv("HOME");
    const std::filesystem::path home(homeText != nullptr ? homeText : "");
    const auto dataHome = absoluteFolders(std::getenv("XDG_DATA_HOME"));
    folders.dataHome = dataHome.empty() ? home / ".local" / "share" : dataHome.front();
    folders.dataDirs = absoluteFolders(std::getenv("XDG_DATA_DIRS"));
    if (folders.dataDirs.empty()) {
        folders.dataDirs = {"/usr/local/share", "/usr/share"};
    }
    if (home.is_absolute()) {
        folders.appImageFolders = {home / "Applications", home / "Downloads",
                                   home / ".local" / "bin"};
    }
    folders.path = absoluteFolders(std::getenv("PATH"));
    return folders;
}

std::vector<std::filesystem::path> DesktopApplicationsFinder::dataFolders() const {
    std::vector<std::filesystem::path> folders{m_folders.dataHome};
    folders.insert(folders.end(), m_folders.dataDirs.begin(), m_folders.dataDirs.end());
    for (auto& folder : folders) {
        // "/var/lib/flatpak/exports/share/" is the folder "share", which names the installation.
        folder = folder.lexically_normal();
        if (!folder.has_filename() && folder.has_relative_path()) {
            folder = folder.parent_path();
        }
    }
    return folders;
}

std::vector<DesktopApplicationsFinder::EntryFile> DesktopApplicationsFinder::entryFiles() const {
    const auto dataFolders = this->dataFolders();
    std::set<std::string> seen;
    std::vector<EntryFile> found;
    for (const auto& dataFolder : dataFolders) {
        if (!dataFolder.is_absolute()) {
            continue;
        }
        auto applications =
            PinnedDirectory::openNotFollowingLast((dataFolder / "applications").lexically_normal());
        if (applications) {
            collectEntries(*applications, "", 0, dataFolder, seen, found);
        }
    }
    return found;
}

std::optional<std::filesystem::path> DesktopApplicationsFinder::resolveProgram(
    const std::string& program) const {
    const auto isProgramFile = [](const std::filesystem::path& candidate) {
        std::error_code error;
        return std::filesystem::is_regular_file(candidate, error) &&
               ::access(candidate.c_str(), X_OK) == 0;
    };
    const std::filesystem::path named(program);
    if (named.is_absolute()) {
        return isProgramFile(named) ? std::optional(named) : std::nullopt;
    }
    if (program.find('/') != std::string::npos) {
        return std::nullopt;  // relative to a working folder no desktop promises
    }
    for (const auto& folder : m_folders.path) {
        if (isProgramFile(folder / named)) {
            return folder / named;
        }
    }
    return std::nullopt;
}

std::map<std::string, std::string> DesktopApplicationsFinder::packagesOwningEntries() const {
    std::map<std::string, std::string> owners;
    auto info = PinnedDirectory::openNotFollowingLast(m_folders.dpkgInfo);
    if (!info) {
        return owners;
    }
    for (const auto& name : sortedNames(*info)) {
        if (!endsWith(name, ".list")) {
            continue;
        }
        auto list = OutsideFile::read(m_folders.dpkgInfo / name, kMaximumListBytes);
        if (!list) {
            continue;
        }
        auto package = name.substr(0, name.size() - 5);
        package = package.substr(0, package.find(':'));  // "foo:amd64" is package foo
        std::string_view rest = *list;
        while (!rest.empty()) {
            const auto end = rest.find('\n');
            const auto line = rest.substr(0, end);
            rest.remove_prefix(end == std::string_view::npos ? rest.size() : end + 1);
            if (endsWith(line, ".desktop") && line.find("/applications/") != std::string::npos) {
                owners.emplace(std::string(line), package);
            }
        }
    }
    return owners;
}

std::optional<std::string> DesktopApplicationsFinder::packageCopyright(
    const std::string& package) const {
    if (!PinnedDirectory::isPlainName(package)) {
        return std::nullopt;
    }
    auto text =
        OutsideFile::read(m_folders.documentation / package / "copyright", kMaximumSmallFileBytes);
    if (!text) {
        return std::nullopt;
    }
    // The first Copyright field (the one of "Files: *" in the machine-readable format) with all
    // its holders: one per line, the first beside the field's name or on the line after it, the
    // others on continuation lines that begin with a blank.
    std::string holders;
    bool inField = false;
    std::string_view rest = *text;
    while (!rest.empty()) {
        const auto end = rest.find('\n');
        auto line = rest.substr(0, end);
        rest.remove_prefix(end == std::string_view::npos ? rest.size() : end + 1);
        if (!inField) {
            if (line.starts_with("Copyright:")) {
                inField = true;
                line = line.substr(10);
            } else {
                continue;
            }
        } else if (line.empty() || (line.front() != ' ' && line.front() != '\t')) {
            break;  // the next field, or the end of the paragraph
        }
        line = trimmed(line);
        if (line.empty() || line == ".") {
            continue;
        }
        holders += (holders.empty() ? "" : "\n") + std::string(line);
    }
    return holders.empty() ? std::nullopt : std::optional<std::string>(holders);
}

std::vector<std::shared_ptr<LocalApplication>> DesktopApplicationsFinder::desktopApplications()
    const {
    struct Listed {
        EntryFile file;
        DesktopEntry entry;
    };
    std::vector<Listed> listed;
    std::set<std::string> wanted;
    for (auto& file : entryFiles()) {
        // A Hidden entry is read all the same: being first, it hides its ID's later entries.
        auto entry = DesktopEntry::readGroup(file.path, withoutDesktopSuffix(file.desktopID));
        if (!entry || !entry->isListedApplication()) {
            continue;
        }
        wanted.insert(withoutDesktopSuffix(file.desktopID));
        listed.push_back({std::move(file), std::move(*entry)});
    }
    const auto dataFolders = this->dataFolders();
    const AppStreamCatalog catalog(AppStreamCatalog::Locations::forDataFolders(dataFolders),
                                   wanted);
    std::optional<std::map<std::string, std::string>> owners;

    std::vector<std::shared_ptr<LocalApplication>> applications;
    for (const auto& [file, entry] : listed) {
        DesktopApplication::Fields fields;
        fields.entryFile = file.path;
        fields.identifier = withoutDesktopSuffix(file.desktopID);
        fields.title = entry.string("Name").value_or(fields.identifier);
        const auto* component = catalog.component(file.desktopID);
        const auto arguments = DesktopEntry::execArguments(entry.string("Exec").value_or(""))
                                   .value_or(std::vector<std::string>{});
        const auto& folder = file.dataFolder;
        const bool flatpakExport =
            folder.filename() == "share" && folder.parent_path().filename() == "exports";
        if (entry.string("X-Flatpak") || flatpakExport) {
            fields.origin.kind = ApplicationOrigin::Kind::flatpak;
            fields.origin.name = entry.string("X-Flatpak").value_or(fields.identifier);
            fields.origin.userInstallation = isUnder(folder, m_folders.dataHome);
            if (flatpakExport && PinnedDirectory::isPlainName(fields.origin.name)) {
                const auto active = folder.parent_path().parent_path() / "app" /
                                    fields.origin.name / "current" / "active";
                auto command = flatpakCommand(arguments);
                if (!command) {
                    command = keyInFile(active / "metadata", "command");
                }
                if (command && PinnedDirectory::isPlainName(*command)) {
                    fields.executable = active / "files" / "bin" / *command;
                }
            }
        } else if (entry.string("X-SnapInstanceName") ||
                   (folder.filename() == "desktop" && folder.parent_path().filename() == "snapd")) {
            // Its Exec starts the snap launcher, whose strings say nothing of the application.
            fields.origin.kind = ApplicationOrigin::Kind::snap;
            fields.origin.name =
                entry.string("X-SnapInstanceName")
                    .value_or(fields.identifier.substr(0, fields.identifier.find('_')));
        } else {
            if (auto tryExec = entry.string("TryExec")) {
                fields.executable = resolveProgram(*tryExec);
            }
            if (!fields.executable) {
                if (auto program = execProgram(arguments)) {
                    fields.executable = resolveProgram(*program);
                }
            }
            if (!owners && !isUnder(file.path, m_folders.dataHome)) {
                owners = packagesOwningEntries();
            }
            std::optional<std::string> package;
            if (owners) {
                if (auto found = owners->find(file.path.string()); found != owners->end()) {
                    package = found->second;
                }
            }
            if (package) {
                fields.origin.kind = ApplicationOrigin::Kind::debianPackage;
                fields.origin.name = *package;
                if (component == nullptr || !component->developerName) {
                    fields.copyright = packageCopyright(*package);
                }
            } else {
                fields.origin.kind = ApplicationOrigin::Kind::desktopEntry;
            }
        }
        fields.origin.file = file.path;
        applications.push_back(DesktopApplication::make(std::move(fields), component));
    }
    return applications;
}

std::vector<std::shared_ptr<LocalApplication>> DesktopApplicationsFinder::appImages() const {
    std::vector<std::shared_ptr<LocalApplication>> applications;
    for (const auto& folder : m_folders.appImageFolders) {
        if (!folder.is_absolute()) {
            continue;
        }
        auto pinned = PinnedDirectory::openNotFollowingLast(folder.lexically_normal());
        if (!pinned) {
            continue;
        }
        for (const auto& name : sortedNames(*pinned)) {
            const auto path = pinned->path() / name;
            if (name.front() == '.' || !ElfFile::isAppImageFile(path)) {
                continue;
            }
            DesktopApplication::Fields fields;
            fields.entryFile = path;
            auto stem = name;
            if (const auto dot = stem.rfind('.'); dot != std::string::npos && dot > 0) {
                if (asciiLowercased(stem.substr(dot)) == ".appimage") {
                    stem.resize(dot);
                }
            }
            fields.identifier = stem;
            fields.title = stem;
            fields.executable = path;
            fields.origin = {ApplicationOrigin::Kind::appImage, {}, false, path};
            applications.push_back(DesktopApplication::make(std::move(fields), nullptr));
        }
    }
    return applications;
}

}  // namespace tarnwick
