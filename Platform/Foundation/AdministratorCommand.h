#pragma once

#include "Process.h"
#include "Result.h"

#include <chrono>
#include <string>
#include <vector>

namespace tarnwick {

struct AdministratorCommandError {
    enum class Code {
        notAuthorized,  // the user cancelled or was refused the administrator's password
        cannotStart,    // pkexec or the program is missing
        failed,         // the program ran and failed
        timedOut,
    };
    Code code = Code::failed;
    std::string message;
};

// Runs one program with administrator rights through pkexec, which asks the user through the
// desktop's authentication agent. The program and each argument (every path among them) are
// separate arguments of pkexec, so nothing a user named is ever read by a shell.
class AdministratorCommand {
public:
    // Long enough for a user to type a password.
    static constexpr std::chrono::minutes timeLimit{5};

    // {"pkexec", program, arguments...}; `program` must be an absolute path, because pkexec runs
    // it with a clean environment.
    static ProcessRequest request(const std::string& program,
                                  const std::vector<std::string>& arguments);

    static Result<void, AdministratorCommandError> run(const std::string& program,
                                                       const std::vector<std::string>& arguments,
                                                       const CommandRunner& runner);
};

}  // namespace tarnwick
