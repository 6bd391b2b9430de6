#include "HelperSandbox.h"

#include "Privileged/SystemExtensionHelper.h"

#include <csignal>
#include <stdexcept>
#include <sys/stat.h>

namespace tarnwick::testing {

namespace fs = std::filesystem;

namespace {

std::optional<ino_t> mountNamespaceOf(const std::string& pid) {
    struct stat info {};
    if (::stat(("/proc/" + pid + "/ns/mnt").c_str(), &info) != 0) {
        return std::nullopt;
    }
    return info.st_ino;
}

}  // namespace

HelperSandbox::HelperSandbox() {
    ChildProcess::Options options;
    options.privateRunFolders = true;
    m_holder =
        std::make_unique<ChildProcess>(std::vector<std::string>{"/bin/sleep", "infinity"}, options);
    // The namespace is ready once the holder runs its own program.
    const auto executable = "/proc/" + std::to_string(holder()) + "/exe";
    if (!waitUntil(
            [&] {
                std::error_code error;
                return fs::read_symlink(executable, error).filename() == "sleep";
            },
            std::chrono::seconds(10))) {
        throw std::runtime_error("the mount namespace was not made");
    }
}

HelperSandbox::~HelperSandbox() {
    killInstances();
}

fs::path HelperSandbox::outside(const fs::path& inside) const {
    return fs::path("/proc") / std::to_string(holder()) / "root" / inside.relative_path();
}

fs::path HelperSandbox::installFolder() const {
    return outside(SystemExtensionHelper::kInstallFolder);
}

std::vector<std::string> HelperSandbox::inside(const std::vector<std::string>& arguments,
                                               uid_t user) const {
    std::vector<std::string> command{"/usr/bin/nsenter",
                                     "--mount=/proc/" + std::to_string(holder()) + "/ns/mnt", "--"};
    if (user != 0) {
        const auto id = std::to_string(user);
        command.insert(command.end(), {"/usr/bin/setpriv", "--reuid=" + id, "--regid=" + id,
                                       "--clear-groups", "--"});
    }
    command.insert(command.end(), arguments.begin(), arguments.end());
    return command;
}

ProcessOutcome HelperSandbox::runHelper(const std::vector<std::string>& arguments) const {
    std::vector<std::string> command{TEST_HELPER};
    command.insert(command.end(), arguments.begin(), arguments.end());
    ProcessRequest request;
    request.arguments = inside(command);
    request.timeLimit = std::chrono::seconds(60);
    auto outcome = Process::run(request);
    return outcome ? *outcome : ProcessOutcome{-1, "", outcome.error().message, false};
}

void HelperSandbox::killInstances() const {
    const auto ours = mountNamespaceOf(std::to_string(holder()));
    std::error_code error;
    for (const auto& entry : fs::directory_iterator("/proc", error)) {
        const auto name = entry.path().filename().string();
        if (name.find_first_not_of("0123456789") != std::string::npos ||
            name == std::to_string(holder())) {
            continue;
        }
        if (ours && mountNamespaceOf(name) == ours) {
            ::kill(std::stoi(name), SIGKILL);
        }
    }
}

}  // namespace tarnwick::testing
