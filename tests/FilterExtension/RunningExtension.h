#pragma once

#include "NetworkSandbox.h"

#include <chrono>
#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <sys/types.h>

namespace tarnwick::testing {

// Starts the extension (`executable`) in a network namespace, with fresh /run folders of its own,
// for the desktop user `desktopUser`, and waits until it listens on `service` and on the filter
// manager's socket; nothing when it did not in time.
std::unique_ptr<ChildProcess> startExtension(const std::string& executable, int networkNamespace,
                                             uid_t desktopUser, const std::string& service,
                                             std::chrono::milliseconds timeout);
// The socket folder as the extension's private mount namespace has it.
std::filesystem::path extensionRunFolder(const ChildProcess& extension);
// Saves the filter configuration as the application's filter manager would; the error, if any.
std::optional<std::string> saveFilterEnabled(const ChildProcess& extension, bool enabled,
                                             std::chrono::milliseconds timeout);

}  // namespace tarnwick::testing
