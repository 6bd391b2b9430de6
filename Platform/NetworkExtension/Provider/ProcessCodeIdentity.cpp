#include "ProcessCodeIdentity.h"

#include "AuditToken.h"
#include "BundleInfoLookup.h"
#include "Foundation/OutsideFile.h"
#include "Foundation/PinnedDirectory.h"
#include "Foundation/PropertyList.h"
#include "OSLog/OSLog.h"

#include <climits>
#include <cstdio>
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

namespace tarnwick {

std::optional<ProcessCodeIdentity> ProcessCodeIdentity::forAuditToken(const Value::Data& token) {
    const auto decoded = AuditToken::decode(token);
    if (!decoded) {
        return std::nullopt;
    }
    char path[32];
    std::snprintf(path, sizeof(path), "/proc/%d/exe", decoded->pid);
    char executable[PATH_MAX];
    const ssize_t length = ::readlink(path, executable, sizeof(executable));
    // The file the process runs, as the kernel holds it: no folder of the user's is walked.
    // Cached attributes only, so a file system that answers slowly is not asked.
    struct statx status {};
    const bool known =
        ::statx(AT_FDCWD, path, AT_STATX_DONT_SYNC, STATX_INO | STATX_MTIME, &status) == 0;
    // Checked after the link is read: the executable is then surely that of the process the
    // token names, not of a later one that got its pid.
    if (length <= 0 || static_cast<std::size_t>(length) >= sizeof(executable) ||
        !decoded->isCurrent()) {
        return std::nullopt;
    }
    ProcessCodeIdentity identity;
    identity.executablePath = std::string(executable, static_cast<std::size_t>(length));
    if (!known) {
        return identity;
    }
    const BundleInfoLookup::Executable file{makedev(status.stx_dev_major, status.stx_dev_minor),
                                            status.stx_ino, status.stx_mtime.tv_sec,
                                            status.stx_mtime.tv_nsec, identity.executablePath};
    if (auto info = BundleInfoLookup::shared().info(file)) {
        identity.infoPlist = std::move(*info);
    } else {
        // The flow is still asked about, named by its executable's path.
        osLog(info.error(), OSLogType::debug);
    }
    return identity;
}

std::optional<Value::Dictionary> ProcessCodeIdentity::enclosingBundleInfo(
    const std::filesystem::path& executable) {
    for (auto folder = executable.parent_path(); !folder.empty() && folder != folder.root_path();
         folder = folder.parent_path()) {
        if (folder.extension() != ".app") {
            continue;
        }
        // Read as root from folders the program's owner controls: every component is reached
        // without following a link, so a link planted after the program started cannot make root
        // read another file of the same name.
        const auto bundle = PinnedDirectory::open(folder, {});
        const auto contents = bundle ? bundle->openChild("Contents", {}) : Failure{bundle.error()};
        const auto bytes =
            contents ? OutsideFile::readIn(contents->fd(), "Info.plist", PropertyList::kMaximumSize)
                     : Failure{contents.error()};
        if (!bytes) {
            continue;
        }
        if (const auto plist = PropertyList::parse(*bytes)) {
            if (const auto* dictionary = plist->asDictionary()) {
                return *dictionary;
            }
        }
    }
    return std::nullopt;
}

}  // namespace tarnwick
