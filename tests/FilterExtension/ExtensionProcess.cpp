#include "ExtensionProcess.h"

#include "FilterLink/FilterConfiguration.h"
#include "NetworkExtension/Manager/FilterManagerClient.h"

#include <future>

namespace tarnwick::testing {

std::unique_ptr<ChildProcess> startExtension(const std::string& executable, int networkNamespace,
                                             const std::string& service, uid_t desktopUser,
                                             std::chrono::milliseconds timeout,
                                             const std::vector<std::string>& launcher) {
    ChildProcess::Options options;
    options.networkNamespace = networkNamespace;
    options.privateRunFolders = true;
    options.environment = {"PKEXEC_UID=" + std::to_string(desktopUser)};
    auto arguments = launcher;
    arguments.insert(arguments.end(), {executable, "--application", TARNWICK_TEST_PEER});
    auto extension = std::make_unique<ChildProcess>(arguments, options);
    const auto folder = runFolderOf(*extension);
    if (!waitUntil(
            [&] {
                return std::filesystem::exists(folder / service) &&
                       std::filesystem::exists(folder / "filter-manager");
            },
            timeout)) {
        return nullptr;
    }
    return extension;
}

std::filesystem::path runFolderOf(const ChildProcess& extension) {
    return "/proc/" + std::to_string(extension.pid()) + "/root/run/tarnwick";
}

std::optional<std::string> setFilterEnabled(const ChildProcess& extension, bool enabled,
                                            std::chrono::milliseconds timeout) {
    auto manager =
        FilterManagerClient::createForSocketPath(runFolderOf(extension) / "filter-manager");
    FilterConfiguration configuration;
    configuration.enabled = enabled;
    configuration.localizedDescription = "Tarnwick";
    configuration.providerConfiguration = {true, false};
    auto done = std::make_shared<std::promise<std::optional<std::string>>>();
    auto result = done->get_future();
    manager->saveToPreferences(
        configuration, [done](const std::optional<std::string>& error) { done->set_value(error); });
    if (result.wait_for(timeout) != std::future_status::ready) {
        return "no answer";
    }
    return result.get();
}

}  // namespace tarnwick::testing
