#pragma once

#include "Foundation/Process.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <sys/types.h>
#include <unistd.h>

namespace tarnwick::testing {

// For root tests that play a local user against a program running as root: the user's files and
// the user's shell commands, under uids no account has.

// Gives `top` and everything in it to `user`, links included (not followed).
inline void chownTree(const std::filesystem::path& top, uid_t user) {
    ASSERT_EQ(::lchown(top.c_str(), user, user), 0);
    for (const auto& entry : std::filesystem::recursive_directory_iterator(top)) {
        ASSERT_EQ(::lchown(entry.path().c_str(), user, user), 0);
    }
}

// Runs a shell command as `user` (setpriv, no supplementary groups); its exit status, -1 when it
// did not run.
inline int runShellAs(uid_t user, const std::string& command) {
    ProcessRequest request;
    request.arguments = {"/usr/bin/setpriv",
                         "--reuid=" + std::to_string(user),
                         "--regid=" + std::to_string(user),
                         "--clear-groups",
                         "--",
                         "/bin/sh",
                         "-c",
                         command};
    const auto outcome = Process::run(request);
    return outcome ? outcome->exitStatus : -1;
}

}  // namespace tarnwick::testing
