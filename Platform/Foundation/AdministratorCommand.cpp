#include "AdministratorCommand.h"

namespace tarnwick {

namespace {

// pkexec's own exit statuses: the request was dismissed, or authorization was not obtained.
constexpr int dismissedStatus = 126;
constexpr int notAuthorizedStatus = 127;

}  // namespace

ProcessRequest AdministratorCommand::request(const std::string& program,
                                             const std::vector<std::string>& arguments) {
    ProcessRequest request;
    request.arguments.push_back("pkexec");
    request.arguments.push_back(program);
    request.arguments.insert(request.arguments.end(), arguments.begin(), arguments.end());
    request.timeLimit = timeLimit;
    return request;
}

Result<void, AdministratorCommandError> AdministratorCommand::run(
    const std::string& program, const std::vector<std::string>& arguments,
    const CommandRunner& runner) {
    if (program.empty() || program.front() != '/') {
        return Failure{AdministratorCommandError{AdministratorCommandError::Code::cannotStart,
                                                 "the program needs an absolute path"}};
    }
    auto outcome = runner(request(program, arguments));
    if (!outcome) {
        const auto& error = outcome.error();
        const auto code = error.code == ProcessError::Code::timedOut
                              ? AdministratorCommandError::Code::timedOut
                              : AdministratorCommandError::Code::cannotStart;
        return Failure{AdministratorCommandError{code, error.message}};
    }
    switch (outcome->exitStatus) {
        case 0:
            return {};
        case dismissedStatus:
        case notAuthorizedStatus:
            return Failure{AdministratorCommandError{AdministratorCommandError::Code::notAuthorized,
                                                     outcome->standardError}};
        default:
            return Failure{AdministratorCommandError{AdministratorCommandError::Code::failed,
                                                     "exit status " +
                                                         std::to_string(outcome->exitStatus) +
                                                         ": " + outcome->standardError}};
    }
}

}  // namespace tarnwick
