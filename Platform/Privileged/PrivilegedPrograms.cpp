#include "PrivilegedPrograms.h"

#include "Foundation/Bundle.h"

#include <sys/stat.h>

namespace tarnwick::PrivilegedPrograms {

namespace fs = std::filesystem;

fs::path locate(const std::string& name) {
    return locate(name, TARNWICK_INSTALL_PROGRAMS, Bundle::main().contentsPath() / "MacOS");
}

fs::path locate(const std::string& name, const fs::path& installedPrograms,
                const fs::path& bundlePrograms) {
    const fs::path installed = installedPrograms / name;
    struct stat info {};
    if (::lstat(installed.c_str(), &info) == 0 && S_ISREG(info.st_mode) && info.st_uid == 0 &&
        (info.st_mode & (S_IWGRP | S_IWOTH)) == 0) {
        return installed;
    }
    return bundlePrograms / name;
}

}  // namespace tarnwick::PrivilegedPrograms
