#pragma once

#include <filesystem>
#include <string>

namespace tarnwick {

class Bundle;

// Facts about the application that hosts the feedback library.
class KVBHostApplication {
public:
    // The running application's bundle; made once.
    static const KVBHostApplication& sharedInstance();

    explicit KVBHostApplication(const Bundle& bundle);

    const std::string& path() const { return m_path; }
    const std::string& bundleID() const { return m_bundleID; }
    // "CFBundleName", else the bundle folder's name without its extension.
    const std::string& name() const { return m_name; }
    // The icon file named by "CFBundleIconFile" in the resources, when it exists.
    const std::filesystem::path& iconFile() const { return m_iconFile; }

private:
    std::string m_path;
    std::string m_bundleID;
    std::string m_name;
    std::filesystem::path m_iconFile;
};

}  // namespace tarnwick
