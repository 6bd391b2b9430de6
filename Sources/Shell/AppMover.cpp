#include "Shell/AppMover.h"

#include "Dispatch/DispatchQueue.h"
#include "Foundation/Bundle.h"
#include "Privileged/AdministratorCommand.h"
#include "Privileged/ApplicationMover.h"
#include "Privileged/PrivilegedPrograms.h"
#include "Tools/InstallLocations.h"
#include "Tools/Log/ContextLog.h"

#include <algorithm>
#include <cstdlib>
#include <sys/stat.h>
#include <unistd.h>

namespace tarnwick {

namespace fs = std::filesystem;

namespace {

ContextLog& moverLog() {
    static ContextLog log(LogContextType::appMover);
    return log;
}

bool isWritable(const fs::path& path) {
    return ::access(path.c_str(), W_OK) == 0;
}

}  // namespace

AppMover::Environment AppMover::standardEnvironment() {
    Environment environment;
    InstallLocations locations = InstallLocations::standard();
    environment.applicationDirectories = std::move(locations.applicationDirectories);
    environment.packageDirectories = std::move(locations.packageDirectories);
    environment.privilegedRunner = systemCommandRunner();
    environment.privilegedQueue = AdministratorCommand::queue();
    environment.mover = PrivilegedPrograms::locate(ApplicationMover::kProgramName);
    environment.isRunningAt = [](const fs::path&) { return false; };
    environment.openRunningCopy = [](const fs::path&) {};
    environment.moveToTrash = [](const fs::path& path) -> Result<void, std::string> {
        // The freedesktop trash, through gio, with the path as its own argument.
        ProcessRequest request;
        request.arguments = {"gio", "trash", "--", path.string()};
        const ProcessResult result = Process::run(request);
        if (!result) {
            return Failure{result.error().message};
        }
        if (!result->succeeded()) {
            return Failure{result->standardError};
        }
        return {};
    };
    environment.relaunch = [](const fs::path& destination) {
        const fs::path executable = destination / "Contents" / "MacOS" / "Tarnwick";
        const auto launched = Process::launchDetached(relaunchArguments(::getpid(), executable));
        if (!launched) {
            moverLog().error("Failed to relaunch the moved app: " + launched.error().message);
            return;
        }
        DispatchQueue::main()->async([] { std::_Exit(0); });
    };
    return environment;
}

bool AppMover::isInApplicationsFolder(const fs::path& bundle,
                                      const std::vector<fs::path>& directories) {
    return InstallLocations{directories, {}}.isInPlace(bundle);
}

std::optional<fs::path> AppMover::applicationsFolder(const std::vector<fs::path>& directories) {
    return InstallLocations{directories, {}}.applicationsFolder();
}

std::string AppMover::moveAlertInformativeText(const std::string& applicationName,
                                               bool needsAuthorization) {
    std::string text =
        applicationName + " needs to move to your Applications folder in order to work properly.";
    if (needsAuthorization) {
        text += " You need to authenticate with your administrator password to complete this step.";
    }
    return text;
}

AppMover::AuthorizedMove AppMover::authorizedMove(const fs::path& source, const fs::path& mover,
                                                  const CommandRunner& privilegedRunner) {
    const auto identity = ApplicationMover::check(source);
    if (!identity) {
        moverLog().error("Cannot move the app with authorization: " + identity.error());
        return {};
    }
    const auto moved = AdministratorCommand::run(
        mover.string(), ApplicationMover::arguments(source, *identity), privilegedRunner);
    if (!moved) {
        using Code = AdministratorCommandError::Code;
        if (moved.error().code == Code::dismissed || moved.error().code == Code::notAuthorized) {
            return {true, false, ""};
        }
        moverLog().error("The privileged move failed: " + moved.error().message);
        if (moved.error().code == Code::noAuthority) {
            return {false, false,
                    "No administrator's password could be asked for, because the system's "
                    "authorisation service or its password prompt is not running (" +
                        moved.error().message + ")."};
        }
        return {};
    }
    return {false, true, ""};
}

std::vector<std::string> AppMover::relaunchArguments(pid_t pid, const fs::path& executable) {
    return {"/bin/sh",
            "-c",
            "while /bin/kill -0 \"$1\" 2>/dev/null; do /bin/sleep 0.1; done; exec \"$2\"",
            "sh",
            std::to_string(pid),
            executable.string()};
}

AppMover::Outcome AppMover::moveToApplicationsFolderIfNeeded(bool skipConfirmation,
                                                             Environment& environment) {
    const fs::path source = environment.sourceBundle;
    const InstallLocations locations{environment.applicationDirectories,
                                     environment.packageDirectories};
    if (locations.isInPlace(source)) {
        return Outcome::alreadyInPlace;
    }
    const auto folder = locations.applicationsFolder();
    if (!folder) {
        return Outcome::noApplicationsFolder;
    }
    const fs::path destination = *folder / source.filename();
    std::error_code error;
    const bool destinationExists = fs::exists(destination, error);
    const auto writable = environment.isWritable ? environment.isWritable : isWritable;
    const bool needsAuthorization =
        (destinationExists && !writable(destination)) || !writable(*folder);

    moverLog().info(std::string("Will ask to move the app into the Applications folder") +
                    (needsAuthorization ? " with auth" : "") + ".");
    moverLog().debug("Source path: " + source.string() +
                     ". Destination path: " + destination.string());

    // A caller that gave no alert (the Connections Monitor's button) has asked once already.
    if (!skipConfirmation &&
        (!environment.confirmMove || !environment.confirmMove(needsAuthorization))) {
        moverLog().warning("User declined to move the app.");
        return Outcome::declined;
    }

    if (needsAuthorization) {
        // The mover writes only its own folder; any other is not ours to ask root for.
        if (*folder != environment.moverFolder) {
            return afterAuthorizedMove({}, source, destination, environment);
        }
        if (environment.privilegedQueue) {
            // The routine goes on where the move's answer arrives, with its own copy of the
            // environment: the caller's is gone by then.
            auto kept = std::make_shared<Environment>(environment);
            environment.privilegedQueue->async([kept, source, destination] {
                auto copy = authorizedMove(source, kept->mover, kept->privilegedRunner);
                DispatchQueue::main()->async([kept, copy, source, destination] {
                    (void)afterAuthorizedMove(copy, source, destination, *kept);
                });
            });
            return Outcome::authorizing;
        }
        return afterAuthorizedMove(
            authorizedMove(source, environment.mover, environment.privilegedRunner), source,
            destination, environment);
    }
    if (destinationExists) {
        if (environment.isRunningAt(destination)) {
            environment.openRunningCopy(destination);
            return Outcome::openedRunningCopy;
        }
        const auto trashed = environment.moveToTrash(destination);
        if (!trashed) {
            moverLog().error("Failed to trash the already existing app: " + trashed.error());
            return Outcome::failed;
        }
    }
    fs::copy(source, destination, fs::copy_options::recursive | fs::copy_options::copy_symlinks,
             error);
    if (error) {
        moverLog().error("Failed to move app to the destination folder: " + error.message());
        fs::remove_all(destination, error);
        return Outcome::failed;
    }
    return finishMove(source, destination, environment);
}

AppMover::Outcome AppMover::finishMove(const fs::path& source, const fs::path& destination,
                                       Environment& environment) {
    std::error_code error;
    fs::remove_all(source, error);  // a source that stays behind does no harm
    moverLog().info("App successfully moved, will restart.");
    environment.relaunch(destination);
    return Outcome::moved;
}

AppMover::Outcome AppMover::afterAuthorizedMove(const AuthorizedMove& copy, const fs::path& source,
                                                const fs::path& destination,
                                                Environment& environment) {
    if (copy.cancelled) {
        moverLog().warning("User declined to grant authorization to move the app.");
        return moveToApplicationsFolderIfNeeded(false, environment);
    }
    if (!copy.succeeded) {
        // Not a success: say so and go on from where the application is.
        moverLog().error("Failed to move the app into the Applications folder with authorization.");
        if (environment.reportFailure) {
            environment.reportFailure("Tarnwick could not be moved to the Applications folder. " +
                                      (copy.failure.empty() ? "" : copy.failure + " ") +
                                      "It keeps running from where it is.");
        }
        return Outcome::failed;
    }
    return finishMove(source, destination, environment);
}

}  // namespace tarnwick
