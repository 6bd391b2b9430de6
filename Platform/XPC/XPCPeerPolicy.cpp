#include "XPCPeerPolicy.h"

#include "Foundation/Text.h"

#include <cstdlib>

namespace tarnwick {

XPCPeerPolicy::XPCPeerPolicy(std::set<uid_t> allowedUsers, uid_t socketOwner)
    : m_allowedUsers(std::move(allowedUsers)), m_socketOwner(socketOwner) {}

XPCPeerPolicy XPCPeerPolicy::desktopUser() {
    if (const auto user = desktopUserIdentifier()) {
        return XPCPeerPolicy({0, *user}, *user);
    }
    return XPCPeerPolicy({0}, 0);
}

std::optional<uid_t> XPCPeerPolicy::desktopUserIdentifier(const EnvironmentLookup& environment) {
    for (const char* name : {kDesktopUserVariable, "PKEXEC_UID", "SUDO_UID"}) {
        const auto text = environment(name);
        if (const auto user = text ? wholeNumber<uid_t>(*text) : std::nullopt;
            user && *user != static_cast<uid_t>(-1)) {
            return user;
        }
    }
    return std::nullopt;
}

std::optional<uid_t> XPCPeerPolicy::desktopUserIdentifier() {
    return desktopUserIdentifier([](const std::string& name) -> std::optional<std::string> {
        const char* value = std::getenv(name.c_str());
        return value != nullptr ? std::optional<std::string>(value) : std::nullopt;
    });
}

}  // namespace tarnwick
