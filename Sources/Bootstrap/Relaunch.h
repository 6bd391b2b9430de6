#pragma once

#include <chrono>
#include <functional>
#include <optional>
#include <string>
#include <sys/types.h>
#include <vector>

namespace tarnwick {

// Starting the application anew: the new instance waits until this one has ended, so the two
// never run side by side (one link to the extension, one settings writer).
namespace Relaunch {

inline constexpr const char* kAfterExitOf = "--after-exit-of";
inline constexpr std::chrono::seconds kWaitLimit{10};

// Starts `executable` with the argument that makes it wait for this process, then asks this one
// to quit through `quit`. False, and nothing is quit, when the new instance cannot be started.
bool start(const std::string& executable, const std::function<void()>& quit);

// The process an instance was started to wait for, from its arguments; none when it was not, or
// when the argument is not a process number.
std::optional<pid_t> previousInstance(const std::vector<std::string>& arguments);

// Waits until the process has ended or the limit has passed; true when it ended.
bool waitForExit(pid_t pid, std::chrono::milliseconds limit = kWaitLimit);

}  // namespace Relaunch

}  // namespace tarnwick
