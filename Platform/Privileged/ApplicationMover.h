#pragma once

#include "Foundation/Result.h"

#include <filesystem>
#include <optional>
#include <string>
#include <sys/types.h>
#include <vector>

namespace tarnwick {

// Moving the application into the system's Applications folder when that folder is not the
// user's to write, in two halves. The application reaches its bundle as the user, without
// following a link, and notes which folder it is (device and inode); after the password prompt,
// the mover program runs as root, reaches the bundle again the same way, copies it only when it
// is still the folder that was checked and still belongs to the user who asked, and puts the copy
// (root's files, nothing of the user's) in place of any older one. It writes nowhere but the
// fixed folder below, and nothing but the application's own bundle name there. So a folder that a
// user turns into a link or swaps during the prompt makes the move fail instead of copying or
// replacing something else. Moves run one at a time (a lock under /run/tarnwick), each copying into
// a staging folder of its own.
//
//   tarnwick-application-mover move <bundle> <device> <inode>
//
// Exit status 0 when the copy is in place, 2 for bad arguments, 1 when nothing was moved, with
// one line on standard error saying why.
namespace ApplicationMover {

inline constexpr const char* kProgramName = "tarnwick-application-mover";
inline constexpr const char* kApplicationsFolder = "/Applications";
inline constexpr const char* kBundleName = "Tarnwick.app";

struct BundleIdentity {
    dev_t device = 0;
    ino_t inode = 0;
};

// The application's half: the bundle's identity when `bundle` is an absolute, normal path of the
// application's bundle outside the Applications folder, reached without a link.
Result<BundleIdentity, std::string> check(const std::filesystem::path& bundle);

// The mover's arguments for a checked bundle.
std::vector<std::string> arguments(const std::filesystem::path& bundle, BundleIdentity identity);

// The mover program's work. `requester` is the user on whose behalf it runs (pkexec says who);
// without one, the bundle's owner.
int run(const std::vector<std::string>& arguments, std::optional<uid_t> requester);

}  // namespace ApplicationMover

}  // namespace tarnwick
