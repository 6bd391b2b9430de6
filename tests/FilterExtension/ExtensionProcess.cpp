#include "ExtensionProcess.h"

#include "FilterLink/FilterConfiguration.h"
#include "NetworkExtension/Manager/FilterManagerClient.h"

#include <future>

namespace tarnwick::testing {

std::unique_ptr<ChildProcess> startExtensionProcess(const std::string& executable,
                                                    int networkNamespace, uid_t desktopUser) {
    ChildProcess::Options options;
    options.networkNamespace = networkNamespace;
    options.privateRunFolders = true;
    options.environment = {"PKEXEC_UID=" + std::to_string(desktopUser)};
    return std::make_unique<ChildProcess>(std::vector<std::string>{executable}, options);
}

std::filesystem::path extensionRunFolder(const ChildProcess& extension) {
    return "/proc/" + std::to_string(extension.pid()) + "/root/run/tarnwick";
}

bool extensionListens(const ChildProcess& extension, const std::string& service,
                      std::chrono::milliseconds timeout) {
    const auto folder = extensionRunFolder(extension);
    return waitUntil(
        [&folder, &service] {
            return std::filesystem::exists(folder / service) &&
                   std::filesystem::exists(folder / "filter-manager");
        },
        timeout);
}

std::optional<std::string> setExtensionFilterEnabled(const ChildProcess& extension, bool enabled,
                                                     std::chrono::milliseconds timeout) {
    auto manager =
        FilterManagerClient::createForSocketPath(extensionRunFolder(extension) / "filter-manager");
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
