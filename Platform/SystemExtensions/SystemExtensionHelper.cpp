#include "SystemExtensionHelper.h"

#include "FilterLink/FilterLinkProtocol.h"
#include "Foundation/Bundle.h"
#include "Foundation/FileDescriptor.h"
#include "Foundation/Process.h"
#include "XPC/XPCServiceLock.h"
#include "XPC/XPCServicePath.h"

#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <fcntl.h>
#include <fstream>
#include <iterator>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <thread>
#include <unistd.h>

namespace tarnwick::SystemExtensionHelper {

namespace fs = std::filesystem;

namespace {

constexpr auto kStopGrace = std::chrono::seconds(5);
// How long a started extension may take to open its service.
constexpr auto kServingLimit = std::chrono::seconds(15);

int fail(int status, const std::string& message) {
    std::fprintf(stderr, "%s\n", message.c_str());
    return status;
}

// A bundle name is one plain folder name: nothing that climbs out of the install folder.
bool isPlainBundleName(const std::string& name) {
    return !name.empty() && name != "." && name != ".." && name.find('/') == std::string::npos &&
           name.find('\0') == std::string::npos;
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

bool isAlive(pid_t pid) {
    return ::kill(pid, 0) == 0 || errno == EPERM;
}

bool stopInstance(const fs::path& installFolder, const std::string& bundleName) {
    const auto pid = runningInstance(installFolder, bundleName);
    if (!pid) {
        return true;
    }
    ::kill(*pid, SIGTERM);
    const auto deadline = std::chrono::steady_clock::now() + kStopGrace;
    while (isAlive(*pid) && std::chrono::steady_clock::now() < deadline) {
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    if (isAlive(*pid)) {
        ::kill(*pid, SIGKILL);
    }
    std::error_code ignored;
    fs::remove(pidFile(installFolder, bundleName), ignored);
    return true;
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
int waitUntilServing(const fs::path& bundlePath, pid_t pid) {
    const auto service = declaredService(bundlePath);
    if (!service) {
        return 0;
    }
    const auto serving = [&service] {
        return acceptsConnections(xpcSocketPath(*service)) &&
               acceptsConnections(xpcSocketPath(filterlink::kFilterManagerServiceName));
    };
    const auto deadline = std::chrono::steady_clock::now() + kServingLimit;
    while (!serving()) {
        if (!isAlive(pid) &&
            !XPCServiceLock::isHeld(XPCServiceLock::pathIn(xpcServicesDirectory()))) {
            return fail(1, "The extension ended as it started");
        }
        if (std::chrono::steady_clock::now() >= deadline) {
            return fail(
                1, "The extension did not open its service " + xpcSocketPath(*service).string());
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    return 0;
}

int startInstance(const fs::path& installFolder, const std::string& bundleName) {
    const auto bundlePath = installFolder / bundleName;
    if (const auto running = runningInstance(installFolder, bundleName)) {
        // It may have been started a moment ago: started means serving here too.
        return waitUntilServing(bundlePath, *running);
    }
    const auto executable = executableOf(bundlePath);
    if (!executable || !fs::is_regular_file(*executable)) {
        return fail(kNotInstalled, "The extension is not installed in " + installFolder.string());
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
        return fail(1, launched.error().message);
    }
    std::ofstream(pidFile(installFolder, bundleName), std::ios::trunc) << *launched << "\n";
    return waitUntilServing(bundlePath, *launched);
}

int activate(const fs::path& source, const fs::path& installFolder) {
    const std::string bundleName = source.filename().string();
    if (!isPlainBundleName(bundleName) || !fs::is_directory(source)) {
        return fail(kBadArguments, "No extension bundle at " + source.string());
    }
    std::error_code error;
    fs::create_directories(installFolder, error);
    if (error) {
        return fail(1, "Cannot create " + installFolder.string() + ": " + error.message());
    }
    ::chmod(installFolder.c_str(), 0755);
    stopInstance(installFolder, bundleName);
    // Copied beside its place first, so a failed copy never leaves half a bundle installed.
    const auto staging = installFolder / (bundleName + ".new");
    fs::remove_all(staging, error);
    fs::copy(source, staging, fs::copy_options::recursive | fs::copy_options::copy_symlinks, error);
    if (error) {
        fs::remove_all(staging, error);
        return fail(1, "Cannot copy the extension: " + error.message());
    }
    const auto destination = installFolder / bundleName;
    fs::remove_all(destination, error);
    fs::rename(staging, destination, error);
    if (error) {
        return fail(1, "Cannot install the extension: " + error.message());
    }
    return startInstance(installFolder, bundleName);
}

int deactivate(const fs::path& installFolder, const std::string& bundleName) {
    const auto destination = installFolder / bundleName;
    const bool installed = fs::exists(destination);
    stopInstance(installFolder, bundleName);
    if (!installed) {
        return fail(kNotInstalled, "The extension is not installed in " + installFolder.string());
    }
    std::error_code error;
    fs::remove_all(destination, error);
    if (error) {
        return fail(1, "Cannot remove the extension: " + error.message());
    }
    return 0;
}

}  // namespace

fs::path pidFile(const fs::path& installFolder, const std::string& bundleName) {
    return installFolder / (bundleName + ".pid");
}

std::optional<pid_t> runningInstance(const fs::path& installFolder, const std::string& bundleName) {
    std::ifstream in(pidFile(installFolder, bundleName));
    long pid = 0;
    if (!(in >> pid) || pid <= 1) {
        return std::nullopt;
    }
    const auto process = static_cast<pid_t>(pid);
    if (!isAlive(process)) {
        return std::nullopt;
    }
    // A pid file outliving its process may name an unrelated one by now.
    const auto executable = executableOf(installFolder / bundleName);
    if (!executable || commandName(process) != executable->string()) {
        return std::nullopt;
    }
    return process;
}

int run(const std::vector<std::string>& arguments) {
    if (arguments.size() != 3) {
        return fail(kBadArguments,
                    "usage: activate <bundle> <folder> | start|deactivate "
                    "<folder> <bundle name>");
    }
    const std::string& command = arguments[0];
    if (command == "activate") {
        const fs::path folder = arguments[2];
        if (!folder.is_absolute() || !fs::path(arguments[1]).is_absolute()) {
            return fail(kBadArguments, "Paths must be absolute");
        }
        return activate(fs::path(arguments[1]).lexically_normal(), folder.lexically_normal());
    }
    const fs::path folder = arguments[1];
    if (!folder.is_absolute() || !isPlainBundleName(arguments[2])) {
        return fail(kBadArguments, "Bad install folder or bundle name");
    }
    if (command == "start") {
        return startInstance(folder.lexically_normal(), arguments[2]);
    }
    if (command == "deactivate") {
        return deactivate(folder.lexically_normal(), arguments[2]);
    }
    return fail(kBadArguments, "Unknown command " + command);
}

}  // namespace tarnwick::SystemExtensionHelper
