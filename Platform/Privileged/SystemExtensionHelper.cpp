#include "SystemExtensionHelper.h"

#include "FilterLink/FilterLinkProtocol.h"
#include "Foundation/Bundle.h"
#include "Foundation/FileDescriptor.h"
#include "Foundation/PinnedDirectory.h"
#include "Foundation/Process.h"
#include "PrivilegedLock.h"
#include "RootOwnedCopy.h"
#include "SystemdService.h"
#include "XPC/XPCPeerPolicy.h"
#include "XPC/XPCServiceLock.h"
#include "XPC/XPCServicePath.h"

#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdint>
#include <cstdio>
#include <fcntl.h>
#include <fstream>
#include <poll.h>
#include <sstream>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <sys/un.h>
#include <thread>
#include <unistd.h>

namespace tarnwick::SystemExtensionHelper {

namespace fs = std::filesystem;

namespace {

constexpr auto kStopGrace = std::chrono::seconds(5);
// How long a started extension may take to open its service.
constexpr auto kServingLimit = std::chrono::seconds(15);
// Longer than one whole run of another helper: stop, copy, start and wait for the service.
constexpr auto kLockLimit = std::chrono::seconds(60);

struct HelperError {
    int status = 1;
    std::string message;
};
using Step = Result<void, HelperError>;

HelperError error(const std::string& message) {
    return HelperError{1, message};
}

int fail(int status, const std::string& message) {
    std::fprintf(stderr, "%s\n", message.c_str());
    return status;
}

bool isOurBundleName(const std::string& name) {
    return name == kExtensionBundleName;
}

std::optional<fs::path> executableOf(const fs::path& bundlePath) {
    return Bundle(bundlePath).executablePath();
}

std::string commandName(pid_t pid) {
    std::ifstream in("/proc/" + std::to_string(pid) + "/cmdline", std::ios::binary);
    std::string first;
    std::getline(in, first, '\0');
    return first;
}

// Real, effective, saved and file-system user ids all root: a user's program, set-id or not,
// is never taken for the extension.
bool runsAsRoot(pid_t pid) {
    std::ifstream in("/proc/" + std::to_string(pid) + "/status");
    std::string line;
    while (std::getline(in, line)) {
        if (line.rfind("Uid:", 0) == 0) {
            std::istringstream ids(line.substr(4));
            long id = -1;
            int count = 0;
            while (ids >> id) {
                if (id != 0) {
                    return false;
                }
                ++count;
            }
            return count == 4;
        }
    }
    return false;
}

bool isAlive(pid_t pid) {
    return ::kill(pid, 0) == 0 || errno == EPERM;
}

bool isInstance(pid_t pid, const fs::path& executable) {
    struct stat installed {};
    if (!runsAsRoot(pid) || ::lstat(executable.c_str(), &installed) != 0 ||
        !S_ISREG(installed.st_mode)) {
        return false;
    }
    struct stat running {};
    if (::stat(("/proc/" + std::to_string(pid) + "/exe").c_str(), &running) == 0) {
        return running.st_dev == installed.st_dev && running.st_ino == installed.st_ino;
    }
    const int refusal = errno;
    // Only a caller without privileges is kept from looking at a root process's program.
    return ::geteuid() != 0 && (refusal == EACCES || refusal == EPERM) &&
           commandName(pid) == executable.string();
}

// A file of the installed copy is trusted only as root left it: a regular file of root's that
// nobody else can write, without set-id bits.
Step requireRootFile(int folder, const std::string& name, const fs::path& shown) {
    struct stat info {};
    if (::fstatat(folder, name.c_str(), &info, AT_SYMLINK_NOFOLLOW) != 0) {
        return Failure{
            HelperError{errno == ENOENT ? kNotInstalled : 1,
                        "The extension is incomplete: " + shown.string() + " is missing"}};
    }
    if (!S_ISREG(info.st_mode) || info.st_uid != 0 ||
        (info.st_mode & (S_IWGRP | S_IWOTH | S_ISUID | S_ISGID))) {
        return Failure{error(shown.string() + " is not a file that only root can change")};
    }
    return {};
}

// A copy that could not start is not installed: its program must be one of its own files.
Step requireProgram(const PinnedDirectory& copy) {
    const auto executable = executableOf(copy.path());
    struct stat info {};
    if (!executable || ::lstat(executable->c_str(), &info) != 0 || !S_ISREG(info.st_mode)) {
        return Failure{error("The extension's Info.plist names no program in its Contents/MacOS")};
    }
    return {};
}

void signalAndWait(int pidfd, pid_t pid) {
    ::syscall(SYS_pidfd_send_signal, pidfd, SIGTERM, nullptr, 0);
    pollfd ended{pidfd, POLLIN, 0};
    const auto grace = std::chrono::duration_cast<std::chrono::milliseconds>(kStopGrace);
    if (::poll(&ended, 1, static_cast<int>(grace.count())) <= 0) {
        ::syscall(SYS_pidfd_send_signal, pidfd, SIGKILL, nullptr, 0);
        ended.revents = 0;
        ::poll(&ended, 1, static_cast<int>(grace.count()));
    }
    // Ended is not yet gone: its parent (init, mostly) reaps it a moment later, and a caller that
    // looks for the process right after must not find it.
    const auto deadline = std::chrono::steady_clock::now() + kStopGrace;
    while (::kill(pid, 0) == 0 && std::chrono::steady_clock::now() < deadline) {
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
}

// Stops the running copy, when the pid file names one; another process is never signalled.
void stopInstance(const PinnedDirectory& folder, const std::string& bundleName) {
    if (const auto pid = runningInstance(folder.path(), bundleName)) {
        // The descriptor holds on to this very process: checked once more after it is open, the
        // signal cannot reach a process that took over the number meanwhile.
        const FileDescriptor pidfd(static_cast<int>(::syscall(SYS_pidfd_open, *pid, 0)));
        const auto executable = executableOf(folder.path() / bundleName);
        if (pidfd && executable && isInstance(*pid, *executable)) {
            signalAndWait(pidfd.get(), *pid);
        }
    }
    (void)::unlinkat(folder.fd(), (bundleName + ".pid").c_str(), 0);
}

// The service the bundle declares for the application; none when it declares none.
std::optional<std::string> declaredService(const fs::path& bundlePath) {
    const Bundle bundle(bundlePath);
    const Value* networkExtension = bundle.objectForInfoDictionaryKey("NetworkExtension");
    const Value* name = networkExtension ? networkExtension->find("NEMachServiceName") : nullptr;
    auto service = name ? name->asString() : std::nullopt;
    if (!service || service->empty()) {
        return std::nullopt;
    }
    return service;
}

bool acceptsConnections(const fs::path& socketPath) {
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    const std::string path = socketPath.string();
    if (path.size() >= sizeof(address.sun_path)) {
        return false;
    }
    path.copy(address.sun_path, path.size());
    const FileDescriptor socket(::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0));
    return socket && ::connect(socket.get(), reinterpret_cast<const sockaddr*>(&address),
                               sizeof(address)) == 0;
}

// Activation is finished only once the application can reach the extension: a caller that goes
// on to configure the filter must not find nobody listening. A leftover socket of an earlier run
// refuses connections, so only a running instance counts. The filter manager's service opens last,
// so it is the one waited for beside the declared one. An instance that stops at once because
// another one holds the services lock lost a race with it: the one that won is waited for.
Step waitUntilServing(const fs::path& bundlePath, pid_t pid) {
    const auto service = declaredService(bundlePath);
    if (!service) {
        return {};
    }
    const auto serving = [&service] {
        return acceptsConnections(xpcSocketPath(*service)) &&
               acceptsConnections(xpcSocketPath(filterlink::kFilterManagerServiceName));
    };
    const auto deadline = std::chrono::steady_clock::now() + kServingLimit;
    while (!serving()) {
        if (!isAlive(pid) &&
            !XPCServiceLock::isHeld(XPCServiceLock::pathIn(xpcServicesDirectory()))) {
            return Failure{error("The extension ended as it started")};
        }
        if (std::chrono::steady_clock::now() >= deadline) {
            return Failure{error("The extension did not open its service " +
                                 xpcSocketPath(*service).string())};
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    return {};
}

Step recordProcess(const PinnedDirectory& folder, const std::string& bundleName, pid_t pid) {
    const FileDescriptor pidFileOut(
        ::openat(folder.fd(), (bundleName + ".pid").c_str(),
                 O_WRONLY | O_CREAT | O_TRUNC | O_NOFOLLOW | O_CLOEXEC | O_NOCTTY, 0644));
    const std::string pidText = std::to_string(pid) + "\n";
    if (!pidFileOut || ::write(pidFileOut.get(), pidText.data(), pidText.size()) !=
                           static_cast<ssize_t>(pidText.size())) {
        return Failure{error("Cannot record the extension's process id")};
    }
    return {};
}

// Where systemd runs the machine the installed copy is its service: started by it now and at
// every boot after.
Step startService(const PinnedDirectory& folder, const std::string& bundleName,
                  SystemdService& service, bool install, uid_t desktopUser) {
    const auto executable = executableOf(folder.path() / bundleName);
    if (!executable) {
        return Failure{error("The extension's Info.plist names no program in its Contents/MacOS")};
    }
    // A unit of an older helper names no desktop user: it is written again.
    auto started = install || !service.isInstalledAs(*executable, desktopUser)
                       ? service.installAndStart(*executable, desktopUser)
                       : service.start();
    if (!started) {
        return Failure{error(started.error())};
    }
    if (auto recorded = recordProcess(folder, bundleName, *started); !recorded) {
        return recorded;
    }
    return waitUntilServing(folder.path() / bundleName, *started);
}

Step startInstance(const PinnedDirectory& folder, const std::string& bundleName) {
    if (const auto running = runningInstance(folder.path(), bundleName)) {
        // It may have been started a moment ago: started means serving here too.
        return waitUntilServing(folder.path() / bundleName, *running);
    }
    const PinnedDirectory::Options rootOnly{.rootOwnedChain = true};
    // Each step below the install folder is checked again: a copy left by an older helper may
    // hold links or files that a user can change.
    auto bundle = folder.openChild(bundleName, rootOnly);
    if (!bundle) {
        return Failure{
            HelperError{bundle.error().code == FileError::Code::notFound ? kNotInstalled : 1,
                        "The extension is not installed: " + bundle.error().message}};
    }
    auto contents = bundle->openChild("Contents", rootOnly);
    if (!contents) {
        return Failure{error(contents.error().message)};
    }
    if (auto trusted =
            requireRootFile(contents->fd(), "Info.plist", contents->path() / "Info.plist");
        !trusted) {
        return trusted;
    }
    const auto executable = executableOf(bundle->path());
    if (!executable) {
        return requireProgram(*bundle);
    }
    auto programs = contents->openChild("MacOS", rootOnly);
    if (!programs) {
        return Failure{error(programs.error().message)};
    }
    if (auto trusted = requireRootFile(programs->fd(), executable->filename(), *executable);
        !trusted) {
        return trusted;
    }
    // The extension outlives this program: it must not hold the output that our caller reads to
    // its end, so it gets /dev/null in its place.
    std::fflush(nullptr);
    const FileDescriptor savedOut(::fcntl(STDOUT_FILENO, F_DUPFD_CLOEXEC, 3));
    const FileDescriptor savedErr(::fcntl(STDERR_FILENO, F_DUPFD_CLOEXEC, 3));
    {
        const FileDescriptor null(::open("/dev/null", O_WRONLY | O_CLOEXEC));
        ::dup2(null.get(), STDOUT_FILENO);
        ::dup2(null.get(), STDERR_FILENO);
    }
    const auto launched = Process::launchDetached({executable->string()});
    ::dup2(savedOut.get(), STDOUT_FILENO);
    ::dup2(savedErr.get(), STDERR_FILENO);
    if (!launched) {
        return Failure{error(launched.error().message)};
    }
    if (auto recorded = recordProcess(folder, bundleName, *launched); !recorded) {
        return recorded;
    }
    return waitUntilServing(bundle->path(), *launched);
}

Step removeIfThere(const PinnedDirectory& folder, const std::string& name) {
    auto removed = folder.removeEntry(name);
    if (!removed && removed.error().code != FileError::Code::notFound) {
        return Failure{error(removed.error().message)};
    }
    return {};
}

Step install(const PinnedDirectory& folder, const fs::path& source, const std::string& bundleName) {
    auto from = PinnedDirectory::openNotFollowingLast(source);
    if (!from) {
        return Failure{HelperError{kBadArguments, "No extension bundle: " + from.error().message}};
    }
    RootOwnedCopy::Options options;
    options.verify = [](const PinnedDirectory& copy) -> Result<void, FileError> {
        if (auto program = requireProgram(copy); !program) {
            return Failure{FileError{FileError::Code::failed, program.error().message}};
        }
        return {};
    };
    if (auto installed = RootOwnedCopy::install(folder, *from, bundleName, options); !installed) {
        return Failure{error(installed.error().message)};
    }
    return {};
}

// Another run of this helper (a second activation, a start) waits for this one to end.
Result<FileDescriptor, HelperError> lockInstallFolder(const PinnedDirectory& folder) {
    auto lock = PrivilegedLock::acquire(folder, ".lock", kLockLimit);
    if (!lock) {
        return Failure{error(lock.error())};
    }
    return std::move(*lock);
}

Step perform(const std::string& command, const std::string& argument) {
    auto folder = PinnedDirectory::open(kInstallFolder, {.rootOwnedChain = true, .create = true});
    if (!folder) {
        return Failure{error("Unsafe install folder: " + folder.error().message)};
    }
    auto lock = lockInstallFolder(*folder);
    if (!lock) {
        return Failure{lock.error()};
    }
    const std::string bundleName =
        command == "activate" ? fs::path(argument).filename().string() : argument;
    SystemdService service({}, bundleName);
    const bool systemd = SystemdService::isSystemdRunning();
    // Neither systemd nor a program started from here hears pkexec's word on who asked: both are
    // told the desktop user.
    const uid_t desktopUser = XPCPeerPolicy::desktopUserIdentifier().value_or(::getuid());
    ::setenv(XPCPeerPolicy::kDesktopUserVariable, std::to_string(desktopUser).c_str(), 1);
    if (command == "activate") {
        stopInstance(*folder, bundleName);
        if (auto installed = install(*folder, argument, bundleName); !installed) {
            return installed;
        }
        return systemd ? startService(*folder, bundleName, service, true, desktopUser)
                       : startInstance(*folder, bundleName);
    }
    if (command == "start") {
        // A copy installed before systemd ran the machine has no unit yet: it gets one.
        const bool running = runningInstance(folder->path(), bundleName).has_value();
        return systemd && !running
                   ? startService(*folder, bundleName, service, !service.isInstalled(), desktopUser)
                   : startInstance(*folder, bundleName);
    }
    const bool installed =
        ::faccessat(folder->fd(), argument.c_str(), F_OK, AT_SYMLINK_NOFOLLOW) == 0;
    // The unit goes first, or systemd would start the copy again as it is removed.
    if (auto removed = service.stopAndRemove(); !removed) {
        return Failure{error(removed.error())};
    }
    stopInstance(*folder, argument);
    if (!installed) {
        return Failure{HelperError{kNotInstalled,
                                   "The extension is not installed in " + folder->path().string()}};
    }
    return removeIfThere(*folder, argument);
}

}  // namespace

fs::path pidFile(const fs::path& installFolder, const std::string& bundleName) {
    return installFolder / (bundleName + ".pid");
}

std::optional<pid_t> runningInstance(const fs::path& installFolder, const std::string& bundleName) {
    const auto executable = executableOf(installFolder / bundleName);
    if (!executable) {
        return std::nullopt;
    }
    std::ifstream in(pidFile(installFolder, bundleName));
    long pid = 0;
    if ((in >> pid) && pid > 1 && isAlive(static_cast<pid_t>(pid)) &&
        isInstance(static_cast<pid_t>(pid), *executable)) {
        return static_cast<pid_t>(pid);
    }
    // The pid file is older than a boot when systemd started the copy since: the copy is found
    // by its program.
    std::error_code error;
    for (const auto& entry : fs::directory_iterator("/proc", error)) {
        const std::string name = entry.path().filename().string();
        if (name.empty() || name.find_first_not_of("0123456789") != std::string::npos) {
            continue;
        }
        const auto process = static_cast<pid_t>(std::stol(name));
        if (process > 1 && isInstance(process, *executable)) {
            return process;
        }
    }
    return std::nullopt;
}

int run(const std::vector<std::string>& arguments) {
    // Before anything is made: the caller's umask must not open up what root creates.
    ::umask(022);
    if (arguments.size() != 2) {
        return fail(kBadArguments, "usage: activate <bundle> | start|deactivate <bundle name>");
    }
    const std::string& command = arguments[0];
    const std::string& argument = arguments[1];
    if (command == "activate") {
        const fs::path source = argument;
        if (!source.is_absolute() || source != source.lexically_normal() ||
            !isOurBundleName(source.filename().string())) {
            return fail(kBadArguments,
                        std::string("No bundle of ") + kExtensionBundleName + " at " + argument);
        }
    } else if (command == "start" || command == "deactivate") {
        if (!isOurBundleName(argument)) {
            return fail(kBadArguments,
                        std::string("Only the extension ") + kExtensionBundleName + " is handled");
        }
    } else {
        return fail(kBadArguments, "Unknown command " + command);
    }
    if (::geteuid() != 0) {
        return fail(1, "The helper must run as root");
    }
    const auto done = perform(command, argument);
    return done ? 0 : fail(done.error().status, done.error().message);
}

}  // namespace tarnwick::SystemExtensionHelper
