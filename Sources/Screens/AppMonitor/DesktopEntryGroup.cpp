#include "DesktopEntryGroup.h"

namespace tarnwick {

namespace {

std::string_view trimmed(std::string_view text) {
    while (!text.empty() && (text.front() == ' ' || text.front() == '\t')) {
        text.remove_prefix(1);
    }
    while (!text.empty() && (text.back() == ' ' || text.back() == '\t' || text.back() == '\r')) {
        text.remove_suffix(1);
    }
    return text;
}

std::string unescaped(std::string_view value) {
    std::string out;
    out.reserve(value.size());
    for (std::size_t i = 0; i < value.size(); ++i) {
        if (value[i] != '\\' || i + 1 == value.size()) {
            out.push_back(value[i]);
            continue;
        }
        switch (value[++i]) {
            case 's':
                out.push_back(' ');
                break;
            case 'n':
                out.push_back('\n');
                break;
            case 't':
                out.push_back('\t');
                break;
            case 'r':
                out.push_back('\r');
                break;
            case '\\':
                out.push_back('\\');
                break;
            default:
                // Not a string escape: left for the Exec quoting rules, which have their own.
                out.push_back('\\');
                out.push_back(value[i]);
        }
    }
    return out;
}

}  // namespace

Result<DesktopEntryGroup, std::string> DesktopEntryGroup::parse(std::string_view text) {
    if (text.size() > kMaximumBytes) {
        return Failure{std::string("the desktop entry is too long")};
    }
    DesktopEntryGroup entry;
    bool inGroup = false;
    bool sawGroup = false;
    while (!text.empty()) {
        const auto end = text.find('\n');
        const auto line = trimmed(text.substr(0, end));
        text.remove_prefix(end == std::string_view::npos ? text.size() : end + 1);
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
        if (key.empty() || key.find('[') != std::string_view::npos) {
            continue;
        }
        if (entry.m_values.size() >= kMaximumKeys) {
            return Failure{std::string("the desktop entry has too many keys")};
        }
        // The first of a repeated key counts, as desktops read it.
        entry.m_values.emplace(std::string(key), unescaped(trimmed(line.substr(equals + 1))));
    }
    if (!sawGroup) {
        return Failure{std::string("no [Desktop Entry] group")};
    }
    return entry;
}

std::optional<std::string> DesktopEntryGroup::string(const std::string& key) const {
    const auto found = m_values.find(key);
    if (found == m_values.end()) {
        return std::nullopt;
    }
    return found->second;
}

bool DesktopEntryGroup::boolean(const std::string& key) const {
    return string(key) == "true";
}

bool DesktopEntryGroup::isListedApplication() const {
    return string("Type") == "Application" && !boolean("NoDisplay") && !boolean("Hidden");
}

std::optional<std::vector<std::string>> DesktopEntryGroup::execArguments(std::string_view exec) {
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
