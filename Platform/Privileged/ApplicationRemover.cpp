#include "ApplicationRemover.h"

#include "Foundation/PinnedDirectory.h"
#include "Foundation/Text.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <fcntl.h>
#include <optional>
#include <sys/stat.h>
#include <unistd.h>

namespace tarnwick::ApplicationRemover {

namespace fs = std::filesystem;

namespace {

constexpr int kBadArguments = 2;

bool isRemovableBundlePath(const fs::path& bundle) {
    return bundle.is_absolute() && bundle == bundle.lexically_normal() &&
           bundle != bundle.root_path() && bundle.extension() == ".app" &&
           bundle.filename() != "Applications";
}

// The bundle folder, reached from "/" without following a link.
Result<PinnedDirectory, std::string> openBundle(const fs::path& bundle,
                                                std::optional<PinnedDirectory>& parent) {
    auto folder = PinnedDirectory::open(bundle.parent_path(), {});
    if (!folder) {
        return Failure{folder.error().message};
    }
    auto opened = folder->openChild(bundle.filename().string(), {});
    if (!opened) {
        return Failure{opened.error().message};
    }
    parent.emplace(std::move(*folder));
    return std::move(*opened);
}

int fail(int status, const std::string& message) {
    std::fprintf(stderr, "%s\n", message.c_str());
    return status;
}

bool isInSystemApplicationFolder(const fs::path& bundle) {
    return std::find(kSystemApplicationFolders.begin(), kSystemApplicationFolders.end(),
                     bundle.parent_path()) != kSystemApplicationFolders.end();
}

// Why the requester may have the bundle removed, or nothing when they may not. The owner is read
// from the opened folder, the one that goes.
std::optional<std::string> groundForRemoval(const PinnedDirectory& folder, const fs::path& bundle,
                                            uid_t requester) {
    struct stat info {};
    if (::fstat(folder.fd(), &info) != 0) {
        return std::nullopt;
    }
    if (isInSystemApplicationFolder(bundle)) {
        return "it was in the system's applications folder " + bundle.parent_path().string();
    }
    if (requester == 0) {
        return std::string("root asked for it");
    }
    if (info.st_uid == requester) {
        return std::string("it belonged to the user who asked");
    }
    return std::nullopt;
}

Result<std::string, std::string> remove(const fs::path& bundle, BundleIdentity identity,
                                        uid_t requester) {
    std::optional<PinnedDirectory> parent;
    auto folder = openBundle(bundle, parent);
    if (!folder) {
        return Failure{folder.error()};
    }
    if (folder->device() != identity.device || folder->inode() != identity.inode) {
        return Failure{bundle.string() + " is not the folder that was checked"};
    }
    const auto ground = groundForRemoval(*folder, bundle, requester);
    if (!ground) {
        return Failure{bundle.string() +
                       " belongs to another user and is not in the system's applications folder"};
    }
    auto names = folder->entries();
    if (!names) {
        return Failure{names.error().message};
    }
    for (const auto& name : *names) {
        if (auto removed = folder->removeEntry(name); !removed) {
            return Failure{removed.error().message};
        }
    }
    // The name in the held parent must still be the emptied folder.
    const std::string name = bundle.filename().string();
    struct stat info {};
    if (::fstatat(parent->fd(), name.c_str(), &info, AT_SYMLINK_NOFOLLOW) != 0 ||
        info.st_dev != identity.device || info.st_ino != identity.inode ||
        ::unlinkat(parent->fd(), name.c_str(), AT_REMOVEDIR) != 0) {
        return Failure{"Cannot remove the emptied folder " + bundle.string()};
    }
    return *ground;
}

}  // namespace

Result<BundleIdentity, std::string> check(const fs::path& bundle) {
    if (!isRemovableBundlePath(bundle)) {
        return Failure{bundle.string() + " is not an application bundle that can be removed"};
    }
    std::optional<PinnedDirectory> parent;
    auto folder = openBundle(bundle, parent);
    if (!folder) {
        return Failure{folder.error()};
    }
    return BundleIdentity{folder->device(), folder->inode()};
}

std::vector<std::string> arguments(const fs::path& bundle, BundleIdentity identity) {
    return {"remove", bundle.string(), std::to_string(identity.device),
            std::to_string(identity.inode)};
}

int run(const std::vector<std::string>& arguments, uid_t requester) {
    const bool four = arguments.size() == 4;
    const auto device = four ? wholeNumber<dev_t>(arguments[2]) : std::nullopt;
    const auto inode = four ? wholeNumber<ino_t>(arguments[3]) : std::nullopt;
    if (!device || !inode || arguments[0] != "remove" || !isRemovableBundlePath(arguments[1])) {
        return fail(kBadArguments, "usage: remove <bundle path> <device> <inode>");
    }
    auto removed = remove(arguments[1], BundleIdentity{*device, *inode}, requester);
    if (!removed) {
        return fail(1, "Not removed: " + removed.error());
    }
    std::printf("Removed %s: %s\n", arguments[1].c_str(), removed->c_str());
    return 0;
}

}  // namespace tarnwick::ApplicationRemover
