#pragma once

#include "Dispatch/DispatchQueue.h"
#include "Foundation/Process.h"
#include "OSSystemExtensionRequest.h"

#include <filesystem>
#include <functional>
#include <memory>

namespace tarnwick {

// Activates and deactivates the application's system extension. Activation finds the bundle with
// the request's identifier under the application's "Contents/Library/SystemExtensions", asks the
// delegate whether an installed copy of it is to be replaced, installs a copy into a root-owned
// system folder and starts it as root; deactivation stops the copy and removes it. The privileged
// steps run the helper program directly when this process is root, else through pkexec, whose
// password prompt is what "needs user approval" stands for here; a refused prompt fails the
// request with a clear error.
//
// The work runs on the manager's own queue, so a password prompt never blocks the caller; every
// delegate call arrives on the request's queue, and every request ends exactly once, with
// finish or fail.
class OSSystemExtensionManager {
public:
    struct Configuration {
        std::filesystem::path applicationBundle;
        // Where this process sees the helper's install folder (a test looks into a private mount
        // namespace); the helper itself only ever uses its own.
        std::filesystem::path installFolder;
        std::filesystem::path helper;
        CommandRunner runCommand;
        std::function<bool()> isRoot;
    };

    // The root-owned folder that holds the installed copies.
    static std::filesystem::path defaultInstallFolder();
    // Over the main bundle, the default install folder and the helper where the privileged
    // programs are found (the installed copy, else the bundle's "Contents/MacOS").
    static OSSystemExtensionManager& shared();

    explicit OSSystemExtensionManager(Configuration configuration);
    virtual ~OSSystemExtensionManager() = default;
    OSSystemExtensionManager(const OSSystemExtensionManager&) = delete;
    OSSystemExtensionManager& operator=(const OSSystemExtensionManager&) = delete;

    virtual void submitRequest(const std::shared_ptr<OSSystemExtensionRequest>& request);

private:
    void activate(const std::shared_ptr<OSSystemExtensionRequest>& request);
    void deactivate(const std::shared_ptr<OSSystemExtensionRequest>& request);
    // Runs one helper command as root; the error to fail with, or nothing.
    std::optional<OSSystemExtensionError> runPrivileged(
        const std::shared_ptr<OSSystemExtensionRequest>& request,
        std::vector<std::string> arguments);

    Configuration m_configuration;
    std::shared_ptr<DispatchQueue> m_queue;
};

}  // namespace tarnwick
