#include "Bundle.h"

#include "PinnedDirectory.h"
#include "PropertyList.h"

#include <algorithm>
#include <system_error>

namespace tarnwick {

namespace {

std::filesystem::path runningExecutable() {
    std::error_code error;
    auto path = std::filesystem::read_symlink("/proc/self/exe", error);
    return error ? std::filesystem::path() : path;
}

}  // namespace

Bundle::Bundle(std::filesystem::path bundlePath) : m_bundlePath(std::move(bundlePath)) {
    if (auto plist = PropertyList::read(contentsPath() / "Info.plist")) {
        if (const auto* dictionary = plist->asDictionary()) {
            m_info = *dictionary;
        }
    }
}

const Bundle& Bundle::main() {
    // Never destroyed, like every process-wide instance that other threads may use at exit.
    static const auto* bundle = new Bundle(forExecutable(runningExecutable()));
    return *bundle;
}

Bundle Bundle::forExecutable(const std::filesystem::path& executable) {
    const auto folder = executable.parent_path();
    if (folder.filename() == "MacOS" && folder.parent_path().filename() == "Contents") {
        return Bundle(folder.parent_path().parent_path());
    }
    return Bundle(folder);
}

std::optional<std::filesystem::path> Bundle::executablePath() const {
    auto name = executableName();
    // One file name in "Contents/MacOS": an absolute name or one that climbs out would name any
    // file on the machine as this bundle's code.
    if (!name || !PinnedDirectory::isPlainName(*name)) {
        return std::nullopt;
    }
    return contentsPath() / "MacOS" / *name;
}

const Value* Bundle::objectForInfoDictionaryKey(const std::string& key) const {
    if (!m_info) {
        return nullptr;
    }
    auto found = m_info->find(key);
    return found == m_info->end() ? nullptr : &found->second;
}

std::optional<std::string> Bundle::stringForInfoDictionaryKey(const std::string& key) const {
    const Value* value = objectForInfoDictionaryKey(key);
    return value != nullptr ? value->asString() : std::nullopt;
}

std::optional<std::string> Bundle::bundleIdentifier() const {
    return stringForInfoDictionaryKey("CFBundleIdentifier");
}

std::optional<std::string> Bundle::shortVersionString() const {
    return stringForInfoDictionaryKey("CFBundleShortVersionString");
}

std::optional<std::string> Bundle::version() const {
    return stringForInfoDictionaryKey("CFBundleVersion");
}

std::optional<std::string> Bundle::executableName() const {
    return stringForInfoDictionaryKey("CFBundleExecutable");
}

std::vector<std::string> Bundle::localizations() const {
    std::vector<std::string> names;
    std::error_code error;
    std::filesystem::directory_iterator entries(resourcePath(), error);
    // An entry that cannot be read is left out; the rest still count.
    for (; !error && entries != std::filesystem::directory_iterator(); entries.increment(error)) {
        const auto& path = entries->path();
        std::error_code typeError;
        if (path.extension() == ".lproj" && entries->is_directory(typeError)) {
            names.push_back(path.stem().string());
        }
    }
    std::sort(names.begin(), names.end());
    return names;
}

}  // namespace tarnwick
