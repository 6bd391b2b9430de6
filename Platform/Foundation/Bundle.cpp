#include "Bundle.h"

#include "PropertyList.h"

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
    if (!name) {
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

}  // namespace tarnwick
