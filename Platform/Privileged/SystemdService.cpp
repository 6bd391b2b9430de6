#include "SystemdService.h"

#include "Foundation/FileDescriptor.h"
#include "Foundation/OutsideFile.h"
#include "Foundation/Text.h"
#include "XPC/XPCPeerPolicy.h"

#include <algorithm>
#include <cerrno>
#include <fcntl.h>
#include <string_view>
#include <sys/stat.h>
#include <unistd.h>

namespace tarnwick {

namespace fs = std::filesystem;

namespace {

constexpr const char* kSystemctl = "systemctl";
// Starting waits for the unit's start job; the extension itself opens its service later.
constexpr auto kSystemctlLimit = std::chrono::seconds(60);

// Written beside its place and renamed over it, so systemd never reads half a unit; never through
// a link a user left in the folder.
Result<void, std::string> writeUnit(const fs::path& folder, const std::string& name,
                                    const std::string& text) {
    const FileDescriptor directory(::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (!directory) {
        return Failure{"Cannot open " + folder.string()};
    }
    const std::string staging = "." + name + ".new";
    (void)::unlinkat(directory.get(), staging.c_str(), 0);
    const FileDescriptor out(::openat(directory.get(), staging.c_str(),
                                      O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0644));
    const bool written = static_cast<bool>(out) && ::fchmod(out.get(), 0644) == 0 &&
                         writeAll(out.get(), text) && ::fsync(out.get()) == 0;
    if (!written ||
        ::renameat(directory.get(), staging.c_str(), directory.get(), name.c_str()) != 0) {
        (void)::unlinkat(directory.get(), staging.c_str(), 0);
        return Failure{"Cannot write the service unit " + (folder / name).string()};
    }
    return {};
}

// systemd splits ExecStart at spaces, reads quotes and backslashes, expands "%" and "$", and takes
// a line break as the start of another setting: a path holding any of them would run another
// program than the one installed, or add settings of its own to a unit that runs as root.
bool isPlainForUnit(const std::string& text) {
    return !text.empty() && std::all_of(text.begin(), text.end(), [](char c) {
        return c > ' ' && c < 0x7f &&
               std::string_view("\"'\\%$;").find(c) == std::string_view::npos;
    });
}

// Never first a "-": systemctl would read the name as an option of its own.
bool isUnitName(const std::string& name) {
    return !name.empty() && name.front() != '-' &&
           std::all_of(name.begin(), name.end(), [](char c) {
               return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') ||
                      std::string_view(":-_.@").find(c) != std::string_view::npos;
           });
}

}  // namespace

bool SystemdService::isSystemdRunning(const fs::path& runtimeFolder) {
    struct stat info {};
    return ::lstat(runtimeFolder.c_str(), &info) == 0 && S_ISDIR(info.st_mode);
}

std::string SystemdService::unitName(const std::string& bundleName) {
    const std::string extension = ".systemextension";
    std::string identifier = bundleName;
    if (identifier.size() > extension.size() &&
        identifier.compare(identifier.size() - extension.size(), extension.size(), extension) ==
            0) {
        identifier.resize(identifier.size() - extension.size());
    }
    return identifier + ".service";
}

std::string SystemdService::unitText(const fs::path& program, uid_t desktopUser) {
    // Like a firewall: up before any network is, so no connection slips past it at boot, and
    // without the default dependencies that would order it after the network.
    return "[Unit]\n"
           "Description=Tarnwick network filter\n"
           "DefaultDependencies=no\n"
           "Wants=network-pre.target\n"
           "After=local-fs.target\n"
           "Before=network-pre.target shutdown.target\n"
           "Conflicts=shutdown.target\n"
           "\n"
           "[Service]\n"
           "Type=simple\n"
           "Environment=" +
           std::string(XPCPeerPolicy::kDesktopUserVariable) + "=" + std::to_string(desktopUser) +
           "\n"
           "ExecStart=" +
           program.string() +
           "\n"
           "Restart=on-failure\n"
           "RestartSec=2\n"
           // Without a desktop user it would only fail again, and fill the journal doing so.
           "RestartPreventExitStatus=" +
           std::to_string(XPCPeerPolicy::kNoDesktopUserExitStatus) +
           "\n"
           "\n"
           "[Install]\n"
           "WantedBy=multi-user.target\n";
}

SystemdService::SystemdService(Configuration configuration, const std::string& bundleName)
    : m_configuration(std::move(configuration)), m_unitName(unitName(bundleName)) {}

bool SystemdService::isInstalled() const {
    struct stat info {};
    return ::lstat((m_configuration.unitFolder / m_unitName).c_str(), &info) == 0;
}

bool SystemdService::isInstalledAs(const fs::path& program, uid_t desktopUser) const {
    const auto text = OutsideFile::read(m_configuration.unitFolder / m_unitName, 64 * 1024);
    return text && *text == unitText(program, desktopUser);
}

Result<void, std::string> SystemdService::systemctl(std::vector<std::string> arguments) const {
    ProcessRequest request;
    request.arguments.push_back(kSystemctl);
    request.arguments.insert(request.arguments.end(), arguments.begin(), arguments.end());
    request.timeLimit = kSystemctlLimit;
    const auto outcome = m_configuration.runner(request);
    if (!outcome) {
        return Failure{"Cannot run systemctl: " + outcome.error().message};
    }
    if (!outcome->succeeded()) {
        const std::string reason(trimmed(outcome->standardError));
        return Failure{"systemctl " + arguments.front() + " failed" +
                       (reason.empty() ? std::string(".") : ": " + reason)};
    }
    return {};
}

Result<pid_t, std::string> SystemdService::mainProcess() const {
    ProcessRequest request;
    request.arguments = {kSystemctl, "show", "--property=MainPID", "--value", "--", m_unitName};
    request.timeLimit = kSystemctlLimit;
    const auto outcome = m_configuration.runner(request);
    if (!outcome || !outcome->succeeded()) {
        return Failure{std::string("Cannot ask systemd for the filter's process")};
    }
    const std::string text(trimmed(outcome->standardOutput));
    long pid = 0;
    try {
        std::size_t used = 0;
        pid = std::stol(text, &used);
        if (used != text.size()) {
            pid = 0;
        }
    } catch (const std::exception&) {
        pid = 0;
    }
    if (pid <= 1) {
        return Failure{"The filter's service " + m_unitName + " is not running"};
    }
    return static_cast<pid_t>(pid);
}

Result<pid_t, std::string> SystemdService::installAndStart(const fs::path& program,
                                                           uid_t desktopUser) {
    // Refused before anything is written: a unit systemd cannot name would also stay behind,
    // as it could not be disabled either. Neither text is quoted back, as it may break the line.
    if (!program.is_absolute() || !isPlainForUnit(program.string())) {
        return Failure{
            std::string("The filter's program path holds characters that a systemd "
                        "unit cannot name")};
    }
    if (!isUnitName(m_unitName)) {
        return Failure{std::string("The filter's bundle name makes no systemd unit name")};
    }
    if (isInstalled()) {
        // The copy it ran was just replaced: what runs must be the new one.
        (void)systemctl({"stop", "--", m_unitName});
    }
    if (auto written =
            writeUnit(m_configuration.unitFolder, m_unitName, unitText(program, desktopUser));
        !written) {
        return Failure{written.error()};
    }
    for (const auto& step : {std::vector<std::string>{"daemon-reload"},
                             std::vector<std::string>{"enable", "--now", "--", m_unitName}}) {
        if (auto done = systemctl(step); !done) {
            return Failure{done.error()};
        }
    }
    return mainProcess();
}

Result<pid_t, std::string> SystemdService::start() {
    if (auto done = systemctl({"start", "--", m_unitName}); !done) {
        return Failure{done.error()};
    }
    return mainProcess();
}

Result<void, std::string> SystemdService::stopAndRemove() {
    if (!isInstalled()) {
        return {};
    }
    if (auto done = systemctl({"disable", "--now", "--", m_unitName}); !done) {
        return done;
    }
    if (::unlink((m_configuration.unitFolder / m_unitName).c_str()) != 0 && errno != ENOENT) {
        return Failure{"Cannot remove " + (m_configuration.unitFolder / m_unitName).string()};
    }
    if (auto done = systemctl({"daemon-reload"}); !done) {
        return done;
    }
    // A unit that failed before stays listed as failed until this; nothing depends on it.
    (void)systemctl({"reset-failed", "--", m_unitName});
    return {};
}

}  // namespace tarnwick
