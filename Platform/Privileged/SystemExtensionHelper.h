#pragma once

#include <filesystem>
#include <optional>
#include <string>
#include <sys/types.h>
#include <vector>

namespace tarnwick {

// The privileged half of the system-extension stand-in: a small program that the application
// runs as root (directly when it already is root, else through pkexec) to install, start, stop
// and remove the copy of its extension bundle in the one install folder below. Every path comes
// in as its own argument; nothing is ever pasted into a shell.
//
//   activate <source bundle>      stops a running copy, replaces the installed copy by a copy of
//                                 the source and starts it
//   start <bundle name>           starts the installed copy unless it runs
//   deactivate <bundle name>      stops the installed copy and removes it
//
// The bundle name is always this application's own extension's: whoever may run the helper as
// root must not reach another folder, program or systemd unit with it.
//
// What runs as root is only ever root's: the install folder and each folder above it must belong
// to root and be writable by nobody else; the copy is made of fresh files owned by root (0755 for
// programs, 0644 for the rest, never set-id), a bundle holding a symbolic link or anything but
// files and folders is refused, and the program started is the bundle's own file in its
// "Contents/MacOS". Runs are serialised by a lock in the install folder.
//
// The running copy's process id is kept in "<install folder>/<bundle name>.pid"; a process is that
// copy only when it runs as root the installed program file itself. Exit status 0 on success, 3
// when the extension is not installed, 2 for bad arguments, 1 for other failures, with one line on
// standard error saying why.
namespace SystemExtensionHelper {

inline constexpr const char* kProgramName = "tarnwick-system-extension-helper";
inline constexpr int kNotInstalled = 3;
inline constexpr int kBadArguments = 2;
inline constexpr const char* kInstallFolder = "/usr/local/lib/tarnwick/SystemExtensions";
inline constexpr const char* kBundleExtension = ".systemextension";
inline constexpr const char* kExtensionBundleName =
    TARNWICK_EXTENSION_IDENTIFIER ".systemextension";

int run(const std::vector<std::string>& arguments);

std::filesystem::path pidFile(const std::filesystem::path& installFolder,
                              const std::string& bundleName);
// The process that runs the installed copy, when one does. Without privileges, where another
// user's process's program cannot be looked at, a root process with the program's path as its
// command counts.
std::optional<pid_t> runningInstance(const std::filesystem::path& installFolder,
                                     const std::string& bundleName);

}  // namespace SystemExtensionHelper

}  // namespace tarnwick
