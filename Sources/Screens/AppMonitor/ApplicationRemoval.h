#pragma once

#include "ApplicationOrigin.h"
#include "Foundation/Process.h"
#include "Foundation/Result.h"
#include "Privileged/AdministratorCommand.h"

#include <string>
#include <vector>

namespace tarnwick {

// Removes a desktop application the way it was installed: a Flatpak with flatpak (which asks for
// rights itself when the installation is the system's), a Snap and a Debian package through pkexec,
// an AppImage by moving it to the trash. Every name and path is one argument, checked first so
// that none can pass for an option. Bundles go through their own remover (ApplicationRemover),
// and an entry that nothing installed is not removed.
namespace ApplicationRemoval {

struct Command {
    std::vector<std::string> arguments;  // the program first
    bool administrator = false;          // run through pkexec
};

// The command for an application of that origin, or why there is none (a sentence for the user).
Result<Command, std::string> command(const ApplicationOrigin& origin);

// The question the uninstall pop-up asks, naming what goes (the package, not only the title).
std::string confirmation(const std::string& title, const ApplicationOrigin& origin);

// Why a command run with administrator rights did not run or failed, as the end of a sentence for
// the user: a prompt that never appeared is not called a refused password.
std::string administratorFailure(const AdministratorCommandError& error);

// Runs the command; the error is a sentence for the user.
Result<void, std::string> remove(const std::string& title, const ApplicationOrigin& origin,
                                 const CommandRunner& runner);

}  // namespace ApplicationRemoval

}  // namespace tarnwick
