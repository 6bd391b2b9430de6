#include "OSSystemExtensionRequest.h"

namespace tarnwick {

std::shared_ptr<OSSystemExtensionRequest> OSSystemExtensionRequest::activationRequest(
    std::string identifier, std::shared_ptr<DispatchQueue> queue) {
    return std::make_shared<OSSystemExtensionRequest>(Kind::activation, std::move(identifier),
                                                      std::move(queue));
}

std::shared_ptr<OSSystemExtensionRequest> OSSystemExtensionRequest::deactivationRequest(
    std::string identifier, std::shared_ptr<DispatchQueue> queue) {
    return std::make_shared<OSSystemExtensionRequest>(Kind::deactivation, std::move(identifier),
                                                      std::move(queue));
}

OSSystemExtensionRequest::OSSystemExtensionRequest(Kind kind, std::string identifier,
                                                   std::shared_ptr<DispatchQueue> queue)
    : m_kind(kind), m_identifier(std::move(identifier)), m_queue(std::move(queue)) {}

}  // namespace tarnwick
