#pragma once

#include "NetworkSandbox.h"

#include <chrono>
#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <sys/types.h>

namespace tarnwick::testing {

// The extension as the root tests run it: its own process in a network namespace, with fresh /run
// and /var/lib of its own, started for the desktop user `desktopUser` (as its installer says).
std::unique_ptr<ChildProcess> startExtensionProcess(const std::string& executable,
                                                    int networkNamespace, uid_t desktopUser);
// Its socket folder as its mount namespace has it.
std::filesystem::path extensionRunFolder(const ChildProcess& extension);
// Whether the link service `service` and the filter manager's service listen within `timeout`.
bool extensionListens(const ChildProcess& extension, const std::string& service,
                      std::chrono::milliseconds timeout);
// Saves the filter configuration as the application's filter manager would: the error, or "no
// answer" when none came in time.
std::optional<std::string> setExtensionFilterEnabled(const ChildProcess& extension, bool enabled,
                                                     std::chrono::milliseconds timeout);

}  // namespace tarnwick::testing
