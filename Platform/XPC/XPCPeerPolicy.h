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

    // Names the desktop user to a root process that systemd or the system-extension helper
    // starts: neither is asked by that user at the time, so neither passes PKEXEC_UID on.
    static constexpr const char* kDesktopUserVariable = "TARNWICK_DESKTOP_UID";
    // The exit status of a server that nothing names a desktop user to: a setting is missing,
    // and starting again would not find it either.
    static constexpr int kNoDesktopUserExitStatus = 78;

    XPCPeerPolicy(std::set<uid_t> allowedUsers, uid_t socketOwner);

    // Root and the desktop user whose application started this process (see
    // desktopUserIdentifier); root alone when nothing names one.
    static XPCPeerPolicy desktopUser();

    // The user whose application this root process serves, as whoever started it says:
    // kDesktopUserVariable (the helper and the systemd unit it writes), else pkexec's or sudo's
    // word on who asked them (PKEXEC_UID, SUDO_UID). Nothing when none of them does: guessing
    // root would shut the application out while the filter lets everything through.
    static std::optional<uid_t> desktopUserIdentifier(const EnvironmentLookup& environment);
    // The same, from this process's environment.
    static std::optional<uid_t> desktopUserIdentifier();

    bool allows(uid_t user) const { return m_allowedUsers.count(user) != 0; }
    uid_t socketOwner() const { return m_socketOwner; }

private:
    std::set<uid_t> m_allowedUsers;
    uid_t m_socketOwner;
};

}  // namespace tarnwick
