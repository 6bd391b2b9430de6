#include "XPCPeerPolicy.h"

#include "Foundation/Bundle.h"

#include <charconv>
#include <cstdlib>
#include <sys/stat.h>

namespace tarnwick {

namespace {

std::optional<uid_t> parseUserIdentifier(const std::optional<std::string>& text) {
    if (!text || text->empty()) {
        return std::nullopt;
    }
    unsigned long value = 0;
    const auto* end = text->data() + text->size();
    const auto [stop, error] = std::from_chars(text->data(), end, value);
    if (error != std::errc() || stop != end || value >= static_cast<unsigned long>(uid_t(-1))) {
        return std::nullopt;
    }
    return static_cast<uid_t>(value);
}

}  // namespace

XPCPeerPolicy::XPCPeerPolicy(std::set<uid_t> allowedUsers, uid_t socketOwner)
    : m_allowedUsers(std::move(allowedUsers)), m_socketOwner(socketOwner) {}

XPCPeerPolicy XPCPeerPolicy::desktopUser() {
    const uid_t user = desktopUserIdentifier(
        [](const std::string& name) -> std::optional<std::string> {
            const char* value = std::getenv(name.c_str());
            return value != nullptr ? std::optional<std::string>(value) : std::nullopt;
        },
        Bundle::main().bundlePath());
    return XPCPeerPolicy({0, user}, user);
}

uid_t XPCPeerPolicy::desktopUserIdentifier(const EnvironmentLookup& environment,
                                           const std::filesystem::path& bundlePath) {
    for (const char* name : {"PKEXEC_UID", "SUDO_UID"}) {
        if (auto user = parseUserIdentifier(environment(name))) {
            return *user;
        }
    }
    struct stat status {};
    if (!bundlePath.empty() && ::stat(bundlePath.c_str(), &status) == 0) {
        return status.st_uid;
    }
    return 0;
}

}  // namespace tarnwick
