#pragma once

#include <filesystem>
#include <functional>
#include <optional>
#include <set>
#include <string>
#include <sys/types.h>

namespace tarnwick {

// Who may connect to a listener: the socket file belongs to one user with mode 0600, and the
// listener checks each peer's credentials (SO_PEERCRED) against the allowed users as well, since a
// file mode alone can be got around (a socket opened before a change, a folder made by hand).
class XPCPeerPolicy {
public:
    using EnvironmentLookup = std::function<std::optional<std::string>(const std::string&)>;

    XPCPeerPolicy(std::set<uid_t> allowedUsers, uid_t socketOwner);

    // Root and the desktop user whose application started this process (see
    // desktopUserIdentifier).
    static XPCPeerPolicy desktopUser();

    // The user whose application started this root process. pkexec and sudo say who asked them
    // (PKEXEC_UID, SUDO_UID); started directly, the owner of the bundle we run from is that user,
    // since the application installs the bundle it carries. Root when none of these tells.
    static uid_t desktopUserIdentifier(const EnvironmentLookup& environment,
                                       const std::filesystem::path& bundlePath);

    bool allows(uid_t user) const { return m_allowedUsers.count(user) != 0; }
    uid_t socketOwner() const { return m_socketOwner; }

private:
    std::set<uid_t> m_allowedUsers;
    uid_t m_socketOwner;
};

}  // namespace tarnwick
