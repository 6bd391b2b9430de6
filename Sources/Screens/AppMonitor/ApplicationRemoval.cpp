#include "ApplicationRemoval.h"

#include "Privileged/AdministratorCommand.h"

#include <algorithm>
#include <chrono>

namespace tarnwick::ApplicationRemoval {

namespace {

using Kind = ApplicationOrigin::Kind;

// Letters, digits and the few marks package and application names use, never first a "-": a
// name that could be read as an option or a path is refused.
bool isPlainName(const std::string& name, std::string_view marks) {
    if (name.empty() || name.size() > 255 || !std::isalnum(static_cast<unsigned char>(name[0]))) {
        return false;
    }
    return std::all_of(name.begin(), name.end(), [marks](char c) {
        return std::isalnum(static_cast<unsigned char>(c)) || marks.find(c) != std::string::npos;
    });
}

std::string quoted(const std::string& text) {
    return "\u201c" + text + "\u201d";
}

}  // namespace

std::string administratorFailure(const AdministratorCommandError& error) {
    using Code = AdministratorCommandError::Code;
    switch (error.code) {
        case Code::dismissed:
        case Code::notAuthorized:
            return "no administrator's password was given. Nothing was removed.";
        case Code::noAuthority:
            return "no administrator's password could be asked for, because the system's "
                   "authorisation service or its password prompt is not running (" +
                   error.message + "). Nothing was removed.";
        case Code::timedOut:
            return "the administrator's password prompt was left open too long. Nothing was "
                   "removed.";
        case Code::cannotStart:
        case Code::failed:
            break;
    }
    return error.message;
}

Result<Command, std::string> command(const ApplicationOrigin& origin) {
    switch (origin.kind) {
        case Kind::flatpak:
            if (!isPlainName(origin.name, "._-")) {
                break;
            }
            return Command{{"flatpak", "uninstall", "--noninteractive",
                            origin.userInstallation ? "--user" : "--system", origin.name},
                           false};
        case Kind::snap:
            if (!isPlainName(origin.name, "_-")) {
                break;
            }
            return Command{{"/usr/bin/snap", "remove", origin.name}, true};
        case Kind::debianPackage:
            if (!isPlainName(origin.name, ".+-")) {
                break;
            }
            // The pop-up has asked already, and pkexec gives apt-get no terminal to ask on.
            return Command{{"/usr/bin/apt-get", "remove", "--yes", origin.name}, true};
        case Kind::appImage:
            if (!origin.file.is_absolute()) {
                break;
            }
            return Command{{"gio", "trash", origin.file.lexically_normal().string()}, false};
        case Kind::desktopEntry:
            return Failure{std::string(
                "No package manager installed this application, so it cannot be removed here. "
                "Remove its files by hand.")};
        case Kind::bundle:
            return Failure{std::string("An application bundle is removed by its own remover.")};
    }
    return Failure{
        std::string("The application's name cannot be passed on safely; nothing was "
                    "removed.")};
}

std::string confirmation(const std::string& title, const ApplicationOrigin& origin) {
    switch (origin.kind) {
        case Kind::flatpak:
            return "Uninstall the Flatpak application " + quoted(origin.name) + " (" + title +
                   ") from the " + (origin.userInstallation ? "user's" : "system's") +
                   " installation?";
        case Kind::snap:
            return "Remove the snap " + quoted(origin.name) + " (" + title +
                   ")? You will be asked for an administrator's password.";
        case Kind::debianPackage:
            return "Remove the package " + quoted(origin.name) + ", which installed " +
                   quoted(title) +
                   "? Packages that depend on it go too. You will be asked for an "
                   "administrator's password.";
        case Kind::appImage:
            return "Move " + quoted(origin.file.filename().string()) + " to the trash?";
        case Kind::desktopEntry:
        case Kind::bundle:
            break;
    }
    return "Remove " + quoted(title) + "?";
}

Result<void, std::string> remove(const std::string& title, const ApplicationOrigin& origin,
                                 const CommandRunner& runner) {
    auto planned = command(origin);
    if (!planned) {
        return Failure{planned.error()};
    }
    const std::string failed = "Could not remove " + quoted(title) + ": ";
    if (planned->administrator) {
        const std::vector<std::string> arguments(planned->arguments.begin() + 1,
                                                 planned->arguments.end());
        auto ran = AdministratorCommand::run(planned->arguments.front(), arguments, runner);
        if (ran) {
            return {};
        }
        return Failure{failed + administratorFailure(ran.error())};
    }
    ProcessRequest request;
    request.arguments = planned->arguments;
    // Uninstalling may wait for the system's own password prompt.
    request.timeLimit = std::chrono::minutes(5);
    auto outcome = runner(request);
    if (!outcome) {
        return Failure{failed + outcome.error().message};
    }
    if (!outcome->succeeded()) {
        return Failure{failed + (outcome->standardError.empty()
                                     ? "exit status " + std::to_string(outcome->exitStatus)
                                     : outcome->standardError)};
    }
    return {};
}

}  // namespace tarnwick::ApplicationRemoval
