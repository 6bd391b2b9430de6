#include "XPCInterface.h"

namespace tarnwick {

XPCInterface::XPCInterface(std::string protocolName, int version,
                           std::map<std::string, Method> methods)
    : m_protocolName(std::move(protocolName)), m_version(version), m_methods(std::move(methods)) {}

const XPCInterface::Method* XPCInterface::method(const std::string& selector) const {
    auto found = m_methods.find(selector);
    return found == m_methods.end() ? nullptr : &found->second;
}

}  // namespace tarnwick
