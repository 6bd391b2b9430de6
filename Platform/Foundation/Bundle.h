#pragma once

#include "Value.h"

#include <filesystem>
#include <optional>
#include <string>
#include <vector>

namespace tarnwick {

// A folder in the bundle shape "X.app/Contents/{Info.plist,MacOS,Resources}" and what its
// Info.plist says. A program that does not run from such a folder still has a main bundle: its
// executable's folder, without an info dictionary.
class Bundle {
public:
    explicit Bundle(std::filesystem::path bundlePath);

    // The bundle of the running executable.
    static const Bundle& main();
    // The bundle that encloses `executable`: the folder above "Contents/MacOS" when there is one,
    // else the executable's own folder.
    static Bundle forExecutable(const std::filesystem::path& executable);

    const std::filesystem::path& bundlePath() const { return m_bundlePath; }
    std::filesystem::path contentsPath() const { return m_bundlePath / "Contents"; }
    std::filesystem::path resourcePath() const { return contentsPath() / "Resources"; }
    std::optional<std::filesystem::path> executablePath() const;

    // Nothing when the bundle has no readable Info.plist.
    const std::optional<Value::Dictionary>& infoDictionary() const { return m_info; }
    const Value* objectForInfoDictionaryKey(const std::string& key) const;
    std::optional<std::string> stringForInfoDictionaryKey(const std::string& key) const;

    std::optional<std::string> bundleIdentifier() const;
    std::optional<std::string> shortVersionString() const;
    std::optional<std::string> version() const;
    std::optional<std::string> executableName() const;

    // The languages the bundle is localized into: the names of its "Resources/*.lproj" folders
    // without the extension ("Base" included), in alphabetical order.
    std::vector<std::string> localizations() const;

private:
    std::filesystem::path m_bundlePath;
    std::optional<Value::Dictionary> m_info;
};

}  // namespace tarnwick
