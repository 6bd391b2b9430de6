#pragma once

#include "Dispatch/DispatchQueue.h"
#include "Foundation/Process.h"
#include "Foundation/Result.h"

#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <sys/types.h>
#include <vector>

namespace tarnwick {

// Offers to move the application bundle into an Applications folder when it runs from anywhere
// else, copies it there (through the privileged mover and pkexec when the folder or an older
// copy is not ours to write), removes the original and relaunches the moved copy. Every path
// reaches the privileged mover and the relaunch as an argument of its own, never inside a shell
// string. A move that fails is logged and told, and the application goes on where it is.
class AppMover {
public:
    enum class Outcome {
        alreadyInPlace,
        noApplicationsFolder,
        declined,
        openedRunningCopy,
        failed,
        moved,
        // The privileged move waits for the password prompt off the main thread; the rest of the
        // routine (relaunch, or the failure told) follows on the main queue.
        authorizing,
    };

    struct AuthorizedMove {
        bool cancelled = false;
        bool succeeded = false;
        // Why it failed, when the user should know more than that it did.
        std::string failure;
    };

    // Everything the routine touches outside itself. Used for testing only in part: the
    // production values come from `standardEnvironment`.
    struct Environment {
        std::filesystem::path sourceBundle;
        std::vector<std::filesystem::path> applicationDirectories;
        // Where the system's package manager installs the application: a copy there is in
        // place and is never moved out of the package's files.
        std::vector<std::filesystem::path> packageDirectories;
        std::string applicationName = "The App";
        // Whether this user may write the path (access(2) by default).
        std::function<bool(const std::filesystem::path&)> isWritable;
        // The move alert; true for "Move to Applications Folder".
        std::function<bool(bool needsAuthorization)> confirmMove;
        // Runs one command with administrator rights (pkexec) and waits.
        CommandRunner privilegedRunner;
        // Where that wait happens (AdministratorCommand::queue()), so the window and the
        // extension's link go on being served. None: on the caller's thread. Used for testing
        // only in part.
        std::shared_ptr<DispatchQueue> privilegedQueue;
        // The program that moves the bundle as root (tarnwick-application-mover).
        std::filesystem::path mover;
        // The one folder the mover writes into. Used for testing only: the mover's own is fixed.
        std::filesystem::path moverFolder = "/Applications";
        std::function<bool(const std::filesystem::path&)> isRunningAt;
        std::function<void(const std::filesystem::path&)> openRunningCopy;
        std::function<Result<void, std::string>(const std::filesystem::path&)> moveToTrash;
        // Starts the moved copy once this process has gone, then ends this process.
        std::function<void(const std::filesystem::path& destination)> relaunch;
        // Tells the user that the move failed.
        std::function<void(const std::string&)> reportFailure;
    };

    static Environment standardEnvironment();

    // The outcome, or `authorizing` while a privileged move runs on `privilegedQueue`.
    static Outcome moveToApplicationsFolderIfNeeded(bool skipConfirmation,
                                                    Environment& environment);

    static bool isInApplicationsFolder(const std::filesystem::path& bundle,
                                       const std::vector<std::filesystem::path>& directories);
    // The existing application directory with the most entries; ties keep the earlier one.
    static std::optional<std::filesystem::path> applicationsFolder(
        const std::vector<std::filesystem::path>& directories);
    static std::string moveAlertInformativeText(const std::string& applicationName,
                                                bool needsAuthorization);
    // Checks the bundle as this user, then has the mover copy it into its folder as root.
    static AuthorizedMove authorizedMove(const std::filesystem::path& source,
                                         const std::filesystem::path& mover,
                                         const CommandRunner& privilegedRunner);
    // The relaunch helper's argument vector: it waits for `pid` to end, then starts the program.
    static std::vector<std::string> relaunchArguments(pid_t pid,
                                                      const std::filesystem::path& executable);

private:
    // What follows a move: the original goes and the moved copy is started.
    static Outcome finishMove(const std::filesystem::path& source,
                              const std::filesystem::path& destination, Environment& environment);
    // What follows the privileged move's answer: asked again when the prompt was dismissed, told
    // when it failed, the move finished when it worked.
    static Outcome afterAuthorizedMove(const AuthorizedMove& copy,
                                       const std::filesystem::path& source,
                                       const std::filesystem::path& destination,
                                       Environment& environment);
};

}  // namespace tarnwick
