#include "AdministratorCommand.h"

#include "Foundation/Text.h"

namespace tarnwick {

namespace {

// pkexec's own exit statuses: the request was dismissed, or authorization was not obtained.
constexpr int dismissedStatus = 126;
constexpr int notAuthorizedStatus = 127;

// pkexec ends with 127 as well when it never reached anyone to ask: polkit's daemon is not
// running ("Error getting authority") or no authentication agent serves the session. No prompt
// was shown, so "no password was given" would be untrue.
bool reachedNoAuthority(const std::string& standardError) {
    return standardError.find("Error getting authority") != std::string::npos ||
           standardError.find("No authentication agent") != std::string::npos;
}

std::string firstLine(const std::string& text) {
    const std::string trimmedText(trimmed(text));
    return trimmedText.substr(0, trimmedText.find('\n'));
}

}  // namespace

const std::shared_ptr<DispatchQueue>& AdministratorCommand::queue() {
    static const auto privileged = DispatchQueue::create("privileged-commands");
    return privileged;
}

ProcessRequest AdministratorCommand::request(const std::string& program,
                                             const std::vector<std::string>& arguments,
                                             bool direct) {
    ProcessRequest request;
    if (!direct) {
        request.arguments.push_back("pkexec");
    }
    request.arguments.push_back(program);
    request.arguments.insert(request.arguments.end(), arguments.begin(), arguments.end());
    request.timeLimit = timeLimit;
    return request;
}

Result<void, AdministratorCommandError> AdministratorCommand::run(
    const std::string& program, const std::vector<std::string>& arguments,
    const CommandRunner& runner, bool direct) {
    using Code = AdministratorCommandError::Code;
    if (program.empty() || program.front() != '/') {
        return Failure{AdministratorCommandError{Code::cannotStart,
                                                 "the program needs an absolute path", -1, ""}};
    }
    auto outcome = runner(request(program, arguments, direct));
    if (!outcome) {
        const auto& error = outcome.error();
        const auto code =
            error.code == ProcessError::Code::timedOut ? Code::timedOut : Code::cannotStart;
        return Failure{AdministratorCommandError{code, error.message, -1, ""}};
    }
    const int status = outcome->exitStatus;
    const std::string said = firstLine(outcome->standardError);
    if (status == 0) {
        return {};
    }
    if (!direct && status == dismissedStatus) {
        return Failure{
            AdministratorCommandError{Code::dismissed, said, status, outcome->standardError}};
    }
    if (!direct && status == notAuthorizedStatus) {
        const auto code =
            reachedNoAuthority(outcome->standardError) ? Code::noAuthority : Code::notAuthorized;
        return Failure{AdministratorCommandError{code, said, status, outcome->standardError}};
    }
    return Failure{AdministratorCommandError{
        Code::failed, "exit status " + std::to_string(status) + (said.empty() ? "" : ": " + said),
        status, outcome->standardError}};
}

}  // namespace tarnwick
