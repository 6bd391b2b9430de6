#include "StandardDirectories.h"

#include "OutsideFile.h"

#include <cstdlib>
#include <pwd.h>
#include <sstream>
#include <unistd.h>

namespace tarnwick {

namespace {

std::optional<std::string> processEnvironment(const std::string& name) {
    const char* value = std::getenv(name.c_str());
    if (value == nullptr || *value == '\0') {
        return std::nullopt;
    }
    return std::string(value);
}

// Reads `XDG_DOWNLOAD_DIR="$HOME/Somewhere"` from user-dirs.dirs.
std::optional<std::filesystem::path> userDirectory(const std::filesystem::path& file,
                                                   const std::string& key,
                                                   const std::filesystem::path& home) {
    // user-dirs.dirs is a few lines; anything else in its place is read as no answer.
    const auto text = OutsideFile::read(file, 64 * 1024);
    if (!text) {
        return std::nullopt;
    }
    std::istringstream stream(*text);
    std::string line;
    while (std::getline(stream, line)) {
        if (line.rfind(key + "=", 0) != 0) {
            continue;
        }
        std::string value = line.substr(key.size() + 1);
        if (value.size() >= 2 && value.front() == '"' && value.back() == '"') {
            value = value.substr(1, value.size() - 2);
        }
        if (value.rfind("$HOME", 0) == 0) {
            std::string rest = value.substr(5);
            while (!rest.empty() && rest.front() == '/') {
                rest.erase(0, 1);
            }
            return home / rest;
        }
        if (!value.empty() && value.front() == '/') {
            return std::filesystem::path(value);
        }
    }
    return std::nullopt;
}

}  // namespace

StandardDirectories::StandardDirectories() : m_environment(processEnvironment) {}

StandardDirectories::StandardDirectories(EnvironmentLookup environment)
    : m_environment(std::move(environment)) {}

std::optional<std::filesystem::path> StandardDirectories::home() const {
    if (auto home = m_environment("HOME")) {
        return std::filesystem::path(*home);
    }
    return std::nullopt;
}

std::optional<std::filesystem::path> StandardDirectories::baseDirectory(
    const std::string& variable, const std::string& fallback) const {
    // The convention ignores relative paths in these variables.
    if (auto value = m_environment(variable); value && value->front() == '/') {
        return std::filesystem::path(*value);
    }
    if (auto home = this->home()) {
        return *home / fallback;
    }
    return std::nullopt;
}

std::vector<std::filesystem::path> StandardDirectories::applicationSupportDirectories() const {
    if (auto folder = baseDirectory("XDG_DATA_HOME", ".local/share")) {
        return {*folder};
    }
    return {};
}

std::vector<std::filesystem::path> StandardDirectories::cachesDirectories() const {
    if (auto folder = baseDirectory("XDG_CACHE_HOME", ".cache")) {
        return {*folder};
    }
    return {};
}

std::optional<std::filesystem::path> StandardDirectories::configDirectory() const {
    return baseDirectory("XDG_CONFIG_HOME", ".config");
}

std::optional<std::filesystem::path> StandardDirectories::downloadsDirectory() const {
    auto home = this->home();
    if (!home) {
        return std::nullopt;
    }
    if (auto config = configDirectory()) {
        if (auto folder = userDirectory(*config / "user-dirs.dirs", "XDG_DOWNLOAD_DIR", *home)) {
            return folder;
        }
    }
    return *home / "Downloads";
}

}  // namespace tarnwick
