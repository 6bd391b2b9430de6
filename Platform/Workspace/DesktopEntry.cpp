#include "DesktopEntry.h"

#include "Foundation/OutsideFile.h"
#include "Foundation/Text.h"

namespace tarnwick {

namespace {

// The escapes of string values. Any other backslash stays, for the Exec quoting rules, which have
// their own.
std::string unescaped(std::string_view value) {
    std::string result;
    result.reserve(value.size());
    for (std::size_t index = 0; index < value.size(); ++index) {
        if (value[index] != '\\' || index + 1 == value.size()) {
            result += value[index];
            continue;
        }
        switch (const char next = value[++index]) {
            case 's':
                result += ' ';
                break;
            case 'n':
                result += '\n';
                break;
            case 't':
                result += '\t';
                break;
            case 'r':
                result += '\r';
                break;
            case '\\':
                result += '\\';
                break;
            default:
                result += '\\';
                result += next;
                break;
        }
    }
    return result;
}

}  // namespace

Result<DesktopEntry, std::string> DesktopEntry::parseGroup(std::string_view contents,
                                                           std::string identifier) {
    if (contents.size() > kMaximumBytes) {
        return Failure{std::string("the desktop entry is too long")};
    }
    DesktopEntry entry;
    entry.m_identifier = std::move(identifier);
    bool inGroup = false;
    bool sawGroup = false;
    while (!contents.empty()) {
        const auto end = contents.find('\n');
        const auto line = trimmed(contents.substr(0, end));
        contents.remove_prefix(end == std::string_view::npos ? contents.size() : end + 1);
        if (line.empty() || line.front() == '#') {
            continue;
        }
        if (line.front() == '[') {
            if (inGroup) {
                break;  // the group is complete; the actions that follow are not ours
            }
            inGroup = line == "[Desktop Entry]";
            sawGroup = sawGroup || inGroup;
            continue;
        }
        const auto equals = line.find('=');
        if (!inGroup || equals == std::string_view::npos) {
            continue;
        }
        const auto key = trimmed(line.substr(0, equals));
        const auto open = key.find('[');
        const bool nameTranslation =
            key.substr(0, open) == "Name" && open != std::string_view::npos && key.back() == ']';
        if (key.empty() || (open != std::string_view::npos && !nameTranslation)) {
            continue;  // only Name's translations are read
        }
        if (entry.m_values.size() + entry.m_translatedNames.size() >= kMaximumKeys) {
            return Failure{std::string("the desktop entry has too many keys")};
        }
        auto value = unescaped(trimmed(line.substr(equals + 1)));
        if (nameTranslation) {
            entry.m_translatedNames.emplace(key.substr(open + 1, key.size() - open - 2),
                                            std::move(value));
        } else {
            entry.m_values.emplace(std::string(key), std::move(value));
        }
    }
    if (!sawGroup) {
        return Failure{std::string("no [Desktop Entry] group")};
    }
    return entry;
}

Result<DesktopEntry, std::string> DesktopEntry::readGroup(const std::filesystem::path& file,
                                                          std::string identifier) {
    // Entries live in folders users write to: a FIFO or a huge file there is no entry.
    const auto contents = OutsideFile::read(file, kMaximumBytes);
    if (!contents) {
        return Failure{std::string("the desktop entry cannot be read")};
    }
    return parseGroup(*contents, std::move(identifier));
}

std::optional<DesktopEntry> DesktopEntry::parse(std::string_view contents, std::string identifier) {
    auto entry = parseGroup(contents, std::move(identifier));
    if (!entry || !entry->isApplication() || entry->boolean("Hidden")) {
        return std::nullopt;
    }
    return std::move(*entry);
}

std::optional<DesktopEntry> DesktopEntry::read(const std::filesystem::path& file,
                                               std::string identifier) {
    auto entry = readGroup(file, std::move(identifier));
    if (!entry || !entry->isApplication() || entry->boolean("Hidden")) {
        return std::nullopt;
    }
    return std::move(*entry);
}

std::optional<std::string> DesktopEntry::string(std::string_view key) const {
    const auto found = m_values.find(key);
    if (found == m_values.end()) {
        return std::nullopt;
    }
    return found->second;
}

bool DesktopEntry::boolean(std::string_view key) const {
    return string(key) == "true";
}

bool DesktopEntry::isListedApplication() const {
    return isApplication() && !boolean("NoDisplay") && !boolean("Hidden");
}

std::optional<std::string> DesktopEntry::name(std::string_view locale) const {
    // "lang_COUNTRY.ENCODING@MODIFIER": the encoding plays no part in the lookup.
    std::string_view modifier;
    if (const auto at = locale.find('@'); at != std::string_view::npos) {
        modifier = locale.substr(at);
        locale = locale.substr(0, at);
    }
    if (const auto dot = locale.find('.'); dot != std::string_view::npos) {
        locale = locale.substr(0, dot);
    }
    const std::string_view language = locale.substr(0, locale.find('_'));
    std::vector<std::string> candidates;
    if (!modifier.empty()) {
        candidates.push_back(std::string(locale) + std::string(modifier));
    }
    candidates.emplace_back(locale);
    if (!modifier.empty()) {
        candidates.push_back(std::string(language) + std::string(modifier));
    }
    candidates.emplace_back(language);
    for (const auto& candidate : candidates) {
        if (candidate.empty()) {
            continue;
        }
        if (auto found = m_translatedNames.find(candidate); found != m_translatedNames.end()) {
            return found->second;
        }
    }
    return string("Name");
}

std::optional<std::string> DesktopEntry::program() const {
    if (auto tryExec = string("TryExec"); tryExec && !tryExec->empty()) {
        return tryExec;
    }
    const auto exec = string("Exec");
    if (!exec) {
        return std::nullopt;
    }
    const auto words = execArguments(*exec);
    if (!words) {
        return std::nullopt;
    }
    std::size_t index = 0;
    if (index < words->size() && (*words)[index] == "env") {
        ++index;
        while (index < words->size() && (*words)[index].find('=') != std::string::npos) {
            ++index;
        }
    }
    if (index == words->size()) {
        return std::nullopt;
    }
    return (*words)[index];
}

std::optional<std::vector<std::string>> DesktopEntry::execArguments(std::string_view exec) {
    std::vector<std::string> arguments;
    std::string current;
    bool inArgument = false;
    bool fieldCode = false;
    for (std::size_t i = 0; i < exec.size(); ++i) {
        const char c = exec[i];
        if (c == ' ' || c == '\t') {
            if (inArgument && !fieldCode) {
                arguments.push_back(current);
            }
            current.clear();
            inArgument = false;
            fieldCode = false;
            continue;
        }
        inArgument = true;
        if (c == '"') {
            // Inside quotes a backslash keeps the next of " ` $ \ literally.
            bool closed = false;
            for (++i; i < exec.size(); ++i) {
                if (exec[i] == '"') {
                    closed = true;
                    break;
                }
                if (exec[i] == '\\' && i + 1 < exec.size()) {
                    ++i;
                }
                current.push_back(exec[i]);
            }
            if (!closed) {
                return std::nullopt;
            }
            continue;
        }
        if (c == '%' && i + 1 < exec.size()) {
            const char code = exec[++i];
            if (code == '%') {
                current.push_back('%');
            } else if (current.empty()) {
                fieldCode = true;  // an argument that is a field code alone goes away whole
            }
            continue;
        }
        current.push_back(c);
    }
    if (inArgument && !fieldCode) {
        arguments.push_back(current);
    }
    return arguments;
}

}  // namespace tarnwick
