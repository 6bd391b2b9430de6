#pragma once

#include "Result.h"

#include <chrono>
#include <cstddef>
#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <sys/types.h>
#include <vector>

namespace tarnwick {

// One program to run: an argument vector, never a shell string, so no path or name a user chose
// can become a command. `arguments[0]` is the program: a path, or a name looked up in PATH.
struct ProcessRequest {
    std::vector<std::string> arguments;
    std::optional<std::string> input;  // written to standard input, which is then closed
    std::chrono::milliseconds timeLimit = std::chrono::seconds(20);
    std::size_t outputLimit = 1 << 20;       // bytes kept of each of standard output and error
    std::vector<std::string> environment;    // "NAME=value" entries added to this process's
    std::filesystem::path workingDirectory;  // empty: this process's
};

struct ProcessOutcome {
    int exitStatus = -1;  // the program's exit status, or 128 + the signal that ended it
    std::string standardOutput;
    std::string standardError;
    bool outputTruncated = false;

    bool succeeded() const { return exitStatus == 0; }
};

struct ProcessError {
    enum class Code {
        invalidRequest,  // no program named
        cannotStart,     // the program does not exist or cannot be run
        timedOut,        // killed when its time was up
        systemError,     // pipes or waiting failed
    };
    Code code = Code::systemError;
    std::string message;
    // Output read before a time-out, for the log.
    std::string partialOutput;
};

using ProcessResult = Result<ProcessOutcome, ProcessError>;

// Runs programs on posix_spawn. A run that takes longer than its time limit is killed, so no
// caller ever waits on a program forever.
class Process {
public:
    // Runs the program and waits for it, reading its output as it comes.
    static ProcessResult run(const ProcessRequest& request);

    // Starts the program in a session of its own and returns at once; it goes on after this
    // process ends (opening a URL, a relaunch). It is reaped when it ends, so it leaves no zombie.
    // `onEnded`, if any, gets its exit status (as ProcessOutcome::exitStatus, -1 when unknown) on
    // the reaping thread; it is not called for a program still running when reaping stops.
    static Result<pid_t, ProcessError> launchDetached(const std::vector<std::string>& arguments,
                                                      std::function<void(int)> onEnded = {});
    // For the process's end: joins the thread that reaps those programs, without waiting for the
    // ones still running (the system reaps them after this process). A later launch starts it
    // again.
    static void stopReaping();
};

// The seam through which code runs programs: tests pass one that records requests and answers.
using CommandRunner = std::function<ProcessResult(const ProcessRequest&)>;

inline CommandRunner systemCommandRunner() {
    return &Process::run;
}

}  // namespace tarnwick
