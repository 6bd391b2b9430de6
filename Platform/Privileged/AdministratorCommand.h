#pragma once

#include "Dispatch/DispatchQueue.h"
#include "Foundation/Process.h"
#include "Foundation/Result.h"

#include <chrono>
#include <memory>
#include <string>
#include <vector>

namespace tarnwick {

struct AdministratorCommandError {
    enum class Code {
        dismissed,      // the user closed the password prompt
        notAuthorized,  // the password was not given or not accepted
        noAuthority,    // no prompt could be shown: polkit or the desktop's agent is not running
        cannotStart,    // pkexec or the program is missing
        failed,         // the program ran and failed
        timedOut,
    };
    Code code = Code::failed;
    // One line for the log or the user: why, in pkexec's or the program's words.
    std::string message;
    // What the program said and how it ended, for a caller that tells its own failures apart.
    int exitStatus = -1;
    std::string standardError;
};

// The application's one way to run a program with administrator rights: through pkexec, which
// asks the user through the desktop's authentication agent (or directly, when this process is
// root already). The program and each argument (every path among them) are separate arguments
// of pkexec, so nothing a user named is ever read by a shell.
//
// Running waits for the password prompt, up to five minutes: callers do it on `queue()`, never
// on the main thread, whose window and link must keep being served meanwhile.
class AdministratorCommand {
public:
    // Long enough for a user to type a password.
    static constexpr std::chrono::minutes timeLimit{5};

    // The serial queue privileged commands wait on: one password prompt at a time.
    static const std::shared_ptr<DispatchQueue>& queue();

    // {"pkexec", program, arguments...}, or {program, arguments...} when `direct`; `program`
    // must be an absolute path, because pkexec runs it with a clean environment.
    static ProcessRequest request(const std::string& program,
                                  const std::vector<std::string>& arguments, bool direct = false);

    static Result<void, AdministratorCommandError> run(const std::string& program,
                                                       const std::vector<std::string>& arguments,
                                                       const CommandRunner& runner,
                                                       bool direct = false);
};

}  // namespace tarnwick
