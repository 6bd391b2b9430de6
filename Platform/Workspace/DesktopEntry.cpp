#include "DesktopEntry.h"

#include "Foundation/OutsideFile.h"
#include "Foundation/Text.h"

#include <sstream>
#include <vector>

namespace tarnwick {

namespace {

// The escapes of string values: \s \n \t \r and \\.
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
            default:
                result += next;
                break;
        }
    }
    return result;
}

// Exec's words: blanks separate them; a word may be quoted with double quotes, inside which a
// backslash escapes the next character.
std::vector<std::string> execWords(std::string_view exec) {
    std::vector<std::string> words;
    std::string word;
    bool inWord = false;
    bool quoted = false;
    for (std::size_t index = 0; index < exec.size(); ++index) {
        const char character = exec[index];
        if (quoted) {
            if (character == '\\' && index + 1 < exec.size()) {
                word += exec[++index];
            } else if (character == '"') {
                quoted = false;
            } else {
                word += character;
            }
        } else if (character == '"') {
            quoted = true;
            inWord = true;
        } else if (character == ' ' || character == '\t') {
            if (inWord) {
                words.push_back(std::move(word));
                word.clear();
                inWord = false;
            }
        } else {
            word += character;
            inWord = true;
        }
    }
    if (inWord) {
        words.push_back(std::move(word));
    }
    return words;
}

}  // namespace

std::optional<DesktopEntry> DesktopEntry::parse(std::string_view contents, std::string identifier) {
    DesktopEntry entry;
    entry.m_identifier = std::move(identifier);
    bool inMainGroup = false;
    bool isApplication = false;
    bool hidden = false;
    std::istringstream lines{std::string(contents)};
    std::string line;
    while (std::getline(lines, line)) {
        const std::string_view text = trimmed(line);
        if (text.empty() || text.front() == '#') {
            continue;
        }
        if (text.front() == '[') {
            inMainGroup = text == "[Desktop Entry]";
            continue;
        }
        const auto equals = text.find('=');
        if (!inMainGroup || equals == std::string_view::npos) {
            continue;
        }
        const std::string_view key = trimmed(text.substr(0, equals));
        const std::string value = unescaped(trimmed(text.substr(equals + 1)));
        if (key == "Type") {
            isApplication = value == "Application";
        } else if (key == "Hidden") {
            hidden = value == "true";
        } else if (key == "TryExec") {
            entry.m_tryExec = value;
        } else if (key == "Exec") {
            entry.m_exec = value;
        } else if (key == "Icon") {
            entry.m_icon = value;
        } else if (key == "Name") {
            entry.m_names[""] = value;
        } else if (key.substr(0, 5) == "Name[" && key.back() == ']') {
            entry.m_names[std::string(key.substr(5, key.size() - 6))] = value;
        }
    }
    if (!isApplication || hidden) {
        return std::nullopt;
    }
    return entry;
}

std::optional<DesktopEntry> DesktopEntry::read(const std::filesystem::path& file,
                                               std::string identifier) {
    // Entries live in folders users write to: a FIFO or a huge file there is no entry.
    const auto contents = OutsideFile::read(file, maximumFileBytes);
    if (!contents) {
        return std::nullopt;
    }
    return parse(*contents, std::move(identifier));
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
    candidates.emplace_back();
    for (const auto& candidate : candidates) {
        if (candidate.empty() && &candidate != &candidates.back()) {
            continue;
        }
        if (auto found = m_names.find(candidate); found != m_names.end()) {
            return found->second;
        }
    }
    return std::nullopt;
}

std::optional<std::string> DesktopEntry::program() const {
    if (m_tryExec && !m_tryExec->empty()) {
        return m_tryExec;
    }
    if (!m_exec) {
        return std::nullopt;
    }
    const auto words = execWords(*m_exec);
    std::size_t index = 0;
    if (index < words.size() && words[index] == "env") {
        ++index;
        while (index < words.size() && words[index].find('=') != std::string::npos) {
            ++index;
        }
    }
    if (index == words.size()) {
        return std::nullopt;
    }
    return words[index];
}

}  // namespace tarnwick
