#include "OSSystemExtensionManager.h"

#include "Foundation/Bundle.h"
#include "SystemExtensionHelper.h"

#include <future>
#include <unistd.h>

namespace tarnwick {

namespace fs = std::filesystem;

namespace {

// Long enough for a person to type a password; a prompt left open longer fails the request.
constexpr auto kPrivilegedTimeLimit = std::chrono::minutes(5);

// pkexec's own exit statuses: not authorized, and the prompt dismissed.
constexpr int kPkexecNotAuthorized = 127;
constexpr int kPkexecDismissed = 126;

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
        Bundle::main().contentsPath() / "MacOS" / kSystemExtensionHelperName,
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
    ProcessRequest command;
    if (!asRoot) {
        command.arguments.push_back("pkexec");
        request->queue()->async([request] {
            if (auto delegate = request->delegate()) {
                delegate->requestNeedsUserApproval(*request);
            }
        });
    }
    command.arguments.push_back(m_configuration.helper.string());
    command.arguments.insert(command.arguments.end(), arguments.begin(), arguments.end());
    command.timeLimit = kPrivilegedTimeLimit;
    const auto outcome = m_configuration.runCommand(command);
    if (!outcome) {
        return OSSystemExtensionError{
            OSSystemExtensionError::Code::installFailed,
            "The extension could not be set up: " + outcome.error().message};
    }
    const int status = outcome->exitStatus;
    if (status == 0) {
        return std::nullopt;
    }
    if (!asRoot && status == kPkexecDismissed) {
        return OSSystemExtensionError{OSSystemExtensionError::Code::authorizationRequired,
                                      "The administrator password prompt was dismissed."};
    }
    if (!asRoot && status == kPkexecNotAuthorized) {
        return OSSystemExtensionError{OSSystemExtensionError::Code::authorizationRequired,
                                      "Administrator rights were not granted."};
    }
    std::string reason = outcome->standardError;
    while (!reason.empty() && (reason.back() == '\n' || reason.back() == '\r')) {
        reason.pop_back();
    }
    return OSSystemExtensionError{
        status == SystemExtensionHelper::kNotInstalled
            ? OSSystemExtensionError::Code::extensionNotFound
            : OSSystemExtensionError::Code::installFailed,
        "The extension could not be set up" + (reason.empty() ? "." : ": " + reason)};
}

}  // namespace tarnwick
