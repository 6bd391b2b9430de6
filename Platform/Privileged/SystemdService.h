#pragma once

#include "Foundation/Process.h"
#include "Foundation/Result.h"

#include <filesystem>
#include <string>
#include <sys/types.h>

namespace tarnwick {

// The installed extension as a systemd service, so the filter runs again after a reboot and comes
// back when it fails, as a system extension does. The helper uses it where systemd runs the
// machine; elsewhere (containers, CI) it starts the extension itself.
//
//   installAndStart: writes "<bundle identifier>.service" naming the installed program and the
//                    desktop user it serves, reloads systemd, enables and starts the unit and
//                    answers its main process
//   start:           starts the enabled unit and answers its main process
//   stopAndRemove:   disables and stops the unit, removes its file and reloads systemd
//
// Every step runs systemctl through the runner with the unit's name as an argument of its own,
// after "--".
class SystemdService {
public:
    struct Configuration {
        std::filesystem::path unitFolder = "/etc/systemd/system";
        // Runs systemctl. Used for testing only in part: production runs the real one.
        CommandRunner runner = systemCommandRunner();
    };

    // What sd_booted(3) asks: systemd made this folder when it started as the system's manager.
    static bool isSystemdRunning(
        const std::filesystem::path& runtimeFolder = "/run/systemd/system");
    // "<bundle identifier>.service" for "<bundle identifier>.systemextension".
    static std::string unitName(const std::string& bundleName);
    // systemd starts the unit with a clean environment: the desktop user goes into the unit, or
    // the extension would not know whose application to serve.
    static std::string unitText(const std::filesystem::path& program, uid_t desktopUser);

    SystemdService(Configuration configuration, const std::string& bundleName);

    bool isInstalled() const;
    // Whether the installed unit is the one installAndStart would write now.
    bool isInstalledAs(const std::filesystem::path& program, uid_t desktopUser) const;
    [[nodiscard]] Result<pid_t, std::string> installAndStart(const std::filesystem::path& program,
                                                             uid_t desktopUser);
    [[nodiscard]] Result<pid_t, std::string> start();
    [[nodiscard]] Result<void, std::string> stopAndRemove();

private:
    [[nodiscard]] Result<void, std::string> systemctl(std::vector<std::string> arguments) const;
    [[nodiscard]] Result<pid_t, std::string> mainProcess() const;

    Configuration m_configuration;
    std::string m_unitName;
};

}  // namespace tarnwick
