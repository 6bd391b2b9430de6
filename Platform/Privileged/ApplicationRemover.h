#pragma once

#include "Foundation/Result.h"

#include <filesystem>
#include <string>
#include <sys/types.h>
#include <vector>

namespace tarnwick {

// Removes an application bundle that the App Monitor found, in two halves. The application checks
// the bundle as the user and notes which folder it is (device and inode); after the password
// prompt, the remover program runs as root, reaches the bundle again without following any
// symbolic link, removes it only when it is still the folder that was checked, and removes what is
// in it through the opened folder, never through a path. So a parent folder that a user turns into
// a link or swaps for another while the prompt is open makes the removal fail instead of removing
// some other application.
//
// Approving the password prompt lets the remover remove the requesting user's own bundles and the
// bundles in the system's applications folders, nothing else: another user's application, or
// root's outside those folders, stays, and the remover says on which ground it removed or refused.
//
//   tarnwick-application-remover remove <bundle> <device> <inode>
//
// Exit status 0 when the bundle is gone (one line on standard output saying on which ground), 2
// for bad arguments, 1 when it was not removed, with one line on standard error saying why.
namespace ApplicationRemover {

inline constexpr const char* kProgramName = "tarnwick-application-remover";

struct BundleIdentity {
    dev_t device = 0;
    ino_t inode = 0;
};

// The application's half: the bundle's identity when `bundle` is an absolute, normal path of an
// existing "*.app" folder (not "/", not an Applications folder) reached without a link.
Result<BundleIdentity, std::string> check(const std::filesystem::path& bundle);

// The remover's arguments for a checked bundle.
std::vector<std::string> arguments(const std::filesystem::path& bundle, BundleIdentity identity);

// The folders whose applications belong to everyone on the machine.
inline const std::vector<std::filesystem::path> kSystemApplicationFolders = {"/Applications"};

// The remover program's work, on behalf of `requester` (pkexec's PKEXEC_UID).
int run(const std::vector<std::string>& arguments, uid_t requester);

}  // namespace ApplicationRemover

}  // namespace tarnwick
