#pragma once

#include "NWEndpoint.h"

#include <string>

namespace tarnwick {

// An address and a port, as text: "10.200.1.2" and "443".
class NWHostEndpoint final : public NWEndpoint {
public:
    NWHostEndpoint(std::string hostname, std::string port)
        : m_hostname(std::move(hostname)), m_port(std::move(port)) {}

    const std::string& hostname() const { return m_hostname; }
    const std::string& port() const { return m_port; }

private:
    std::string m_hostname;
    std::string m_port;
};

}  // namespace tarnwick
