#pragma once

#include "NetworkSandbox.h"

#include <chrono>
#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <sys/types.h>
#include <vector>

namespace tarnwick::testing {

// How long the extension may take to start listening: a sanitizer build on a loaded two-core
// machine can take well over ten seconds for that, and the wait ends as soon as the sockets are
// there.
inline constexpr std::chrono::seconds kStartWait{60};

// The real extension for the root tests: started in a network namespace with /run and /var/lib
// of its own, serving `desktopUser`, with the test peer as the application that may register.
// `launcher` comes before the executable on the command line (say, setsid). Nothing when it is not
// listening on `service` and the filter manager in time.
std::unique_ptr<ChildProcess> startExtension(const std::string& executable, int networkNamespace,
                                             const std::string& service, uid_t desktopUser,
                                             std::chrono::milliseconds timeout,
                                             const std::vector<std::string>& launcher = {});

// The extension's socket folder, as its private mount namespace has it.
std::filesystem::path runFolderOf(const ChildProcess& extension);

// Switches the filter on or off as the application's filter manager would: nothing, or the error
// ("no answer" when none comes in time).
std::optional<std::string> setFilterEnabled(const ChildProcess& extension, bool enabled,
                                            std::chrono::milliseconds timeout);

}  // namespace tarnwick::testing
