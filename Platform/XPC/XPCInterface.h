#pragma once

#include <cstddef>
#include <map>
#include <string>

namespace tarnwick {

// The shape of a protocol that crosses a connection: its name, the version both sides must speak
// and, per selector, how many arguments the message carries and whether it takes a reply block.
// Incoming messages that do not fit the exported interface are refused before they reach the
// exported object.
class XPCInterface {
public:
    struct Method {
        std::size_t argumentCount = 0;
        bool hasReply = false;
    };

    XPCInterface() = default;
    XPCInterface(std::string protocolName, int version, std::map<std::string, Method> methods);

    const std::string& protocolName() const { return m_protocolName; }
    int version() const { return m_version; }
    const Method* method(const std::string& selector) const;

private:
    std::string m_protocolName;
    int m_version = 0;
    std::map<std::string, Method> m_methods;
};

}  // namespace tarnwick
