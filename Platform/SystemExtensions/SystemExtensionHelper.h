#pragma once

#include <filesystem>
#include <optional>
#include <string>
#include <sys/types.h>
#include <vector>

namespace tarnwick {

// The privileged half of the system-extension stand-in: a small program that the application
// runs as root (directly when it already is root, else through pkexec) to install, start, stop
// and remove the copy of its extension bundle in a root-owned folder. Every path comes in as its
// own argument; nothing is ever pasted into a shell.
//
//   activate <source bundle> <install folder>     stops a running copy, replaces the installed
//                                                  copy by the source and starts it
//   start <install folder> <bundle name>           starts the installed copy unless it runs
//   deactivate <install folder> <bundle name>      stops the installed copy and removes it
//
// The running copy's process id is kept in "<install folder>/<bundle name>.pid". Exit status 0
// on success, 3 when the extension is not installed, 2 for bad arguments, 1 for other failures,
// with one line on standard error saying why.
namespace SystemExtensionHelper {

inline constexpr int kNotInstalled = 3;
inline constexpr int kBadArguments = 2;

int run(const std::vector<std::string>& arguments);

std::filesystem::path pidFile(const std::filesystem::path& installFolder,
                              const std::string& bundleName);
// The process that runs the installed copy, when one does. Needs no privileges: it reads the pid
// file and the process's command line.
std::optional<pid_t> runningInstance(const std::filesystem::path& installFolder,
                                     const std::string& bundleName);

}  // namespace SystemExtensionHelper

}  // namespace tarnwick
