#include "ApplicationMover.h"

#include "Foundation/PinnedDirectory.h"
#include "Foundation/Text.h"
#include "PrivilegedLock.h"
#include "RootOwnedCopy.h"

#include <cstdio>
#include <sys/stat.h>
#include <unistd.h>

namespace tarnwick::ApplicationMover {

namespace fs = std::filesystem;

namespace {

constexpr int kBadArguments = 2;
constexpr const char* kLockFolder = "/run/tarnwick";
constexpr const char* kLockName = "application-mover.lock";
// Longer than one whole copy of a large bundle by another run.
constexpr auto kLockLimit = std::chrono::minutes(2);

bool isMovableBundlePath(const fs::path& bundle) {
    return bundle.is_absolute() && bundle == bundle.lexically_normal() &&
           bundle.filename() == kBundleName && bundle.parent_path() != kApplicationsFolder;
}

int fail(int status, const std::string& message) {
    std::fprintf(stderr, "%s\n", message.c_str());
    return status;
}

Result<void, std::string> move(const fs::path& bundle, BundleIdentity identity,
                               std::optional<uid_t> requester) {
    auto source = PinnedDirectory::open(bundle, {});
    if (!source) {
        return Failure{"No application bundle: " + source.error().message};
    }
    if (source->device() != identity.device || source->inode() != identity.inode) {
        return Failure{bundle.string() + " is not the folder that was checked"};
    }
    struct stat info {};
    if (::fstat(source->fd(), &info) != 0) {
        return Failure{"Cannot examine " + bundle.string()};
    }
    if (requester && info.st_uid != *requester) {
        return Failure{bundle.string() + " does not belong to the user who asked to move it"};
    }
    auto folder = PinnedDirectory::open(kApplicationsFolder, {.rootOwnedChain = true});
    if (!folder) {
        return Failure{"Unsafe applications folder: " + folder.error().message};
    }
    // A second move waits for this one, then replaces its copy with a whole one of its own.
    auto lockFolder = PinnedDirectory::open(kLockFolder, {.rootOwnedChain = true, .create = true});
    if (!lockFolder) {
        return Failure{"Unsafe lock folder: " + lockFolder.error().message};
    }
    const auto lock = PrivilegedLock::acquire(*lockFolder, kLockName, kLockLimit);
    if (!lock) {
        return Failure{lock.error()};
    }
    RootOwnedCopy::Options options;
    options.owner = info.st_uid;
    if (auto installed = RootOwnedCopy::install(*folder, *source, kBundleName, options);
        !installed) {
        return Failure{installed.error().message};
    }
    return {};
}

}  // namespace

Result<BundleIdentity, std::string> check(const fs::path& bundle) {
    if (!isMovableBundlePath(bundle)) {
        return Failure{bundle.string() + " is not the application's bundle outside " +
                       kApplicationsFolder};
    }
    auto folder = PinnedDirectory::open(bundle, {});
    if (!folder) {
        return Failure{folder.error().message};
    }
    return BundleIdentity{folder->device(), folder->inode()};
}

std::vector<std::string> arguments(const fs::path& bundle, BundleIdentity identity) {
    return {"move", bundle.string(), std::to_string(identity.device),
            std::to_string(identity.inode)};
}

int run(const std::vector<std::string>& arguments, std::optional<uid_t> requester) {
    // Before anything is made: the caller's umask must not open up what root creates.
    ::umask(022);
    const bool four = arguments.size() == 4;
    const auto device = four ? wholeNumber<dev_t>(arguments[2]) : std::nullopt;
    const auto inode = four ? wholeNumber<ino_t>(arguments[3]) : std::nullopt;
    if (!device || !inode || arguments[0] != "move" || !isMovableBundlePath(arguments[1])) {
        return fail(kBadArguments,
                    std::string("usage: move <path of ") + kBundleName + "> <device> <inode>");
    }
    if (::geteuid() != 0) {
        return fail(1, "The mover must run as root");
    }
    auto moved = move(arguments[1], BundleIdentity{*device, *inode}, requester);
    return moved ? 0 : fail(1, "Not moved: " + moved.error());
}

}  // namespace tarnwick::ApplicationMover
