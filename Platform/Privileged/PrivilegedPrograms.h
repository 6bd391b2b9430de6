#pragma once

#include <filesystem>
#include <string>

namespace tarnwick {

// Where the application finds the programs it runs as root (the system-extension helper, the
// application remover and the application mover), one rule for all three: the copy the package
// installed, a regular file of root's that is what the polkit actions name, so the password
// prompt says what is approved; else, for a bundle that was never installed, the one beside the
// application in its "Contents/MacOS".
namespace PrivilegedPrograms {

std::filesystem::path locate(const std::string& name);
// The same with the two folders given. Used for testing only.
std::filesystem::path locate(const std::string& name,
                             const std::filesystem::path& installedPrograms,
                             const std::filesystem::path& bundlePrograms);

}  // namespace PrivilegedPrograms

}  // namespace tarnwick
