#include "OSSystemExtensionManager.h"

#include "Foundation/Bundle.h"
#include "Foundation/Text.h"
#include "Privileged/AdministratorCommand.h"
#include "Privileged/PrivilegedPrograms.h"
#include "Privileged/SystemExtensionHelper.h"

#include <future>
#include <unistd.h>

namespace tarnwick {

namespace fs = std::filesystem;

namespace {

std::optional<OSSystemExtensionProperties> propertiesOf(const fs::path& path) {
    std::error_code error;
    if (!fs::is_directory(path, error)) {
        return std::nullopt;
    }
    const Bundle bundle(path);
    const auto identifier = bundle.bundleIdentifier();
    if (!identifier) {
        return std::nullopt;
    }
    return OSSystemExtensionProperties{path, *identifier, bundle.version().value_or(""),
                                       bundle.shortVersionString().value_or("")};
}

// The carried bundle with the identifier, in the folder's listing order.
std::optional<OSSystemExtensionProperties> carriedExtension(const fs::path& applicationBundle,
                                                            const std::string& identifier) {
    std::error_code error;
    fs::directory_iterator entries(applicationBundle / "Contents/Library/SystemExtensions", error);
    if (error) {
        return std::nullopt;
    }
    for (const auto& entry : entries) {
        auto properties = propertiesOf(entry.path());
        if (properties && properties->bundleIdentifier == identifier) {
            return properties;
        }
    }
    return std::nullopt;
}

void finish(const std::shared_ptr<OSSystemExtensionRequest>& request,
            OSSystemExtensionRequestResult result) {
    request->queue()->async([request, result] {
        if (auto delegate = request->delegate()) {
            delegate->requestDidFinishWithResult(*request, result);
        }
    });
}

void fail(const std::shared_ptr<OSSystemExtensionRequest>& request, OSSystemExtensionError error) {
    request->queue()->async([request, error = std::move(error)] {
        if (auto delegate = request->delegate()) {
            delegate->requestDidFailWithError(*request, error);
        }
    });
}

}  // namespace

fs::path OSSystemExtensionManager::defaultInstallFolder() {
    return SystemExtensionHelper::kInstallFolder;
}

OSSystemExtensionManager& OSSystemExtensionManager::shared() {
    // Never destroyed: requests still running at exit find it.
    static auto* manager = new OSSystemExtensionManager(Configuration{
        Bundle::main().bundlePath(),
        defaultInstallFolder(),
        PrivilegedPrograms::locate(SystemExtensionHelper::kProgramName),
        systemCommandRunner(),
        [] { return ::geteuid() == 0; },
    });
    return *manager;
}

OSSystemExtensionManager::OSSystemExtensionManager(Configuration configuration)
    : m_configuration(std::move(configuration))
    , m_queue(DispatchQueue::create("system-extension-manager")) {}

void OSSystemExtensionManager::submitRequest(
    const std::shared_ptr<OSSystemExtensionRequest>& request) {
    m_queue->async([this, request] {
        if (request->kind() == OSSystemExtensionRequest::Kind::activation) {
            activate(request);
        } else {
            deactivate(request);
        }
    });
}

void OSSystemExtensionManager::activate(const std::shared_ptr<OSSystemExtensionRequest>& request) {
    const auto carried = carriedExtension(m_configuration.applicationBundle, request->identifier());
    if (!carried) {
        fail(request,
             {OSSystemExtensionError::Code::extensionNotFound,
              "The application carries no extension named " + request->identifier() + "."});
        return;
    }
    const std::string bundleName = carried->url.filename().string();
    const auto installed = propertiesOf(m_configuration.installFolder / bundleName);
    if (installed && installed->bundleIdentifier == carried->bundleIdentifier) {
        // The question is asked on the request's queue and answered before the work goes on.
        std::promise<OSSystemExtensionReplacementAction> answer;
        request->queue()->async([&answer, request, installed, carried] {
            const auto delegate = request->delegate();
            answer.set_value(
                delegate ? delegate->actionForReplacingExtension(*request, *installed, *carried)
                         : OSSystemExtensionReplacementAction::replace);
        });
        if (answer.get_future().get() == OSSystemExtensionReplacementAction::cancel) {
            // The installed copy is the one wanted: it only has to run.
            if (!SystemExtensionHelper::runningInstance(m_configuration.installFolder,
                                                        bundleName)) {
                if (auto error = runPrivileged(request, {"start", bundleName})) {
                    fail(request, std::move(*error));
                    return;
                }
            }
            finish(request, OSSystemExtensionRequestResult::completed);
            return;
        }
    }
    if (auto error = runPrivileged(request, {"activate", carried->url.string()})) {
        fail(request, std::move(*error));
        return;
    }
    finish(request, OSSystemExtensionRequestResult::completed);
}

void OSSystemExtensionManager::deactivate(
    const std::shared_ptr<OSSystemExtensionRequest>& request) {
    const auto carried = carriedExtension(m_configuration.applicationBundle, request->identifier());
    const std::string bundleName =
        carried ? carried->url.filename().string() : request->identifier() + ".systemextension";
    if (!fs::exists(m_configuration.installFolder / bundleName)) {
        fail(request, {OSSystemExtensionError::Code::extensionNotFound,
                       "The extension " + request->identifier() + " is not installed."});
        return;
    }
    if (auto error = runPrivileged(request, {"deactivate", bundleName})) {
        fail(request, std::move(*error));
        return;
    }
    finish(request, OSSystemExtensionRequestResult::completed);
}

std::optional<OSSystemExtensionError> OSSystemExtensionManager::runPrivileged(
    const std::shared_ptr<OSSystemExtensionRequest>& request, std::vector<std::string> arguments) {
    const bool asRoot = m_configuration.isRoot && m_configuration.isRoot();
    if (!asRoot) {
        request->queue()->async([request] {
            if (auto delegate = request->delegate()) {
                delegate->requestNeedsUserApproval(*request);
            }
        });
    }
    // This runs on the manager's own queue already: the prompt never holds the caller's.
    const auto ran = AdministratorCommand::run(m_configuration.helper.string(), arguments,
                                               m_configuration.runCommand, asRoot);
    if (ran) {
        return std::nullopt;
    }
    using Code = AdministratorCommandError::Code;
    const auto& error = ran.error();
    switch (error.code) {
        case Code::dismissed:
            return OSSystemExtensionError{OSSystemExtensionError::Code::authorizationRequired,
                                          "The administrator password prompt was dismissed."};
        case Code::notAuthorized:
            return OSSystemExtensionError{OSSystemExtensionError::Code::authorizationRequired,
                                          "Administrator rights were not granted."};
        case Code::noAuthority:
            return OSSystemExtensionError{
                OSSystemExtensionError::Code::authorizationRequired,
                "No administrator password prompt could be shown, because the system's "
                "authorisation service or its password prompt is not running (" +
                    error.message + ")."};
        case Code::cannotStart:
        case Code::timedOut:
            return OSSystemExtensionError{OSSystemExtensionError::Code::installFailed,
                                          "The extension could not be set up: " + error.message};
        case Code::failed:
            break;
    }
    const std::string reason(trimmed(error.standardError));
    return OSSystemExtensionError{
        error.exitStatus == SystemExtensionHelper::kNotInstalled
            ? OSSystemExtensionError::Code::extensionNotFound
            : OSSystemExtensionError::Code::installFailed,
        "The extension could not be set up" + (reason.empty() ? "." : ": " + reason)};
}

}  // namespace tarnwick
