#include "Relaunch.h"

#include "Foundation/Process.h"
#include "Logging/LogHub.h"

#include <cerrno>
#include <charconv>
#include <csignal>
#include <thread>
#include <unistd.h>

namespace tarnwick::Relaunch {

bool start(const std::string& executable, const std::function<void()>& quit) {
    const auto launched =
        Process::launchDetached({executable, kAfterExitOf, std::to_string(::getpid())});
    if (!launched) {
        LogHub::error("Cannot relaunch the application: " + launched.error().message);
        return false;
    }
    quit();
    return true;
}

std::optional<pid_t> previousInstance(const std::vector<std::string>& arguments) {
    for (std::size_t index = 0; index + 1 < arguments.size(); ++index) {
        if (arguments[index] != kAfterExitOf) {
            continue;
        }
        const std::string& text = arguments[index + 1];
        pid_t pid = 0;
        const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), pid);
        if (error != std::errc() || end != text.data() + text.size() || pid <= 1) {
            return std::nullopt;
        }
        return pid;
    }
    return std::nullopt;
}

bool waitForExit(pid_t pid, std::chrono::milliseconds limit) {
    const auto deadline = std::chrono::steady_clock::now() + limit;
    while (::kill(pid, 0) == 0 || errno == EPERM) {
        if (std::chrono::steady_clock::now() >= deadline) {
            return false;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    return true;
}

}  // namespace tarnwick::Relaunch
