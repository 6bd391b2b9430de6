#pragma once

#include "Dispatch/DispatchQueue.h"

#include <filesystem>
#include <memory>
#include <string>

namespace tarnwick {

class OSSystemExtensionRequest;

// What the manager knows of one extension bundle: the installed copy or the one the application
// carries.
struct OSSystemExtensionProperties {
    std::filesystem::path url;
    std::string bundleIdentifier;
    std::string bundleVersion;       // "CFBundleVersion"
    std::string bundleShortVersion;  // "CFBundleShortVersionString"
};

enum class OSSystemExtensionReplacementAction { cancel, replace };

// How a request ended well. The stand-in never needs a reboot, but callers handle it.
enum class OSSystemExtensionRequestResult { completed = 0, willCompleteAfterReboot = 1 };

struct OSSystemExtensionError {
    enum class Code {
        extensionNotFound = 4,
        requestCanceled = 11,
        authorizationRequired = 13,
        installFailed = 16,
    };
    Code code = Code::installFailed;
    std::string localizedDescription;
};

// Told how a request goes, on the request's queue. Exactly one of finish and fail ends each
// request; the replacement question and the approval notice may come before it.
class OSSystemExtensionRequestDelegate {
public:
    virtual ~OSSystemExtensionRequestDelegate() = default;
    virtual OSSystemExtensionReplacementAction actionForReplacingExtension(
        const OSSystemExtensionRequest& request, const OSSystemExtensionProperties& existing,
        const OSSystemExtensionProperties& extension) = 0;
    virtual void requestNeedsUserApproval(const OSSystemExtensionRequest& request) = 0;
    virtual void requestDidFinishWithResult(const OSSystemExtensionRequest& request,
                                            OSSystemExtensionRequestResult result) = 0;
    virtual void requestDidFailWithError(const OSSystemExtensionRequest& request,
                                         const OSSystemExtensionError& error) = 0;
};

// One activation or deactivation of the extension with the given bundle identifier, submitted to
// the OSSystemExtensionManager. The delegate is held weakly.
class OSSystemExtensionRequest {
public:
    enum class Kind { activation, deactivation };

    static std::shared_ptr<OSSystemExtensionRequest> activationRequest(
        std::string identifier, std::shared_ptr<DispatchQueue> queue);
    static std::shared_ptr<OSSystemExtensionRequest> deactivationRequest(
        std::string identifier, std::shared_ptr<DispatchQueue> queue);

    OSSystemExtensionRequest(Kind kind, std::string identifier,
                             std::shared_ptr<DispatchQueue> queue);

    Kind kind() const { return m_kind; }
    const std::string& identifier() const { return m_identifier; }
    const std::shared_ptr<DispatchQueue>& queue() const { return m_queue; }

    std::shared_ptr<OSSystemExtensionRequestDelegate> delegate() const { return m_delegate.lock(); }
    void setDelegate(std::weak_ptr<OSSystemExtensionRequestDelegate> delegate) {
        m_delegate = std::move(delegate);
    }

private:
    const Kind m_kind;
    const std::string m_identifier;
    const std::shared_ptr<DispatchQueue> m_queue;
    std::weak_ptr<OSSystemExtensionRequestDelegate> m_delegate;
};

}  // namespace tarnwick
