#include "ApplicationRemover.h"

#include "Foundation/PinnedDirectory.h"
#include "Foundation/Text.h"

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

Result<void, std::string> remove(const fs::path& bundle, BundleIdentity identity) {
    std::optional<PinnedDirectory> parent;
    auto folder = openBundle(bundle, parent);
    if (!folder) {
        return Failure{folder.error()};
    }
    if (folder->device() != identity.device || folder->inode() != identity.inode) {
        return Failure{bundle.string() + " is not the folder that was checked"};
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
    return {};
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

int run(const std::vector<std::string>& arguments) {
    const bool four = arguments.size() == 4;
    const auto device = four ? wholeNumber<dev_t>(arguments[2]) : std::nullopt;
    const auto inode = four ? wholeNumber<ino_t>(arguments[3]) : std::nullopt;
    if (!device || !inode || arguments[0] != "remove" || !isRemovableBundlePath(arguments[1])) {
        return fail(kBadArguments, "usage: remove <bundle path> <device> <inode>");
    }
    auto removed = remove(arguments[1], BundleIdentity{*device, *inode});
    return removed ? 0 : fail(1, "Not removed: " + removed.error());
}

}  // namespace tarnwick::ApplicationRemover
