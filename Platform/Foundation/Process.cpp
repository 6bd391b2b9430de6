#include "Process.h"

#include "FileDescriptor.h"

#include <algorithm>
#include <cerrno>
#include <csignal>
#include <cstdint>
#include <cstring>
#include <fcntl.h>
#include <mutex>
#include <poll.h>
#include <spawn.h>
#include <stop_token>
#include <sys/eventfd.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>
#include <vector>

extern char** environ;

namespace tarnwick {

namespace {

ProcessError systemError(const std::string& what) {
    return ProcessError{ProcessError::Code::systemError, what + ": " + std::strerror(errno), {}};
}

struct Pipe {
    FileDescriptor read;
    FileDescriptor write;
};

std::optional<Pipe> makePipe() {
    int fds[2];
    if (::pipe2(fds, O_CLOEXEC) != 0) {
        return std::nullopt;
    }
    return Pipe{FileDescriptor(fds[0]), FileDescriptor(fds[1])};
}

std::vector<std::string> environmentWith(const std::vector<std::string>& additions) {
    std::vector<std::string> entries;
    for (char** entry = environ; entry && *entry; ++entry) {
        const std::string text(*entry);
        const auto name = text.substr(0, text.find('=') + 1);
        bool replaced = false;
        for (const auto& addition : additions) {
            replaced = replaced || addition.compare(0, name.size(), name) == 0;
        }
        if (!replaced) {
            entries.push_back(text);
        }
    }
    entries.insert(entries.end(), additions.begin(), additions.end());
    return entries;
}

std::vector<char*> pointers(std::vector<std::string>& strings) {
    std::vector<char*> result;
    for (auto& text : strings) {
        result.push_back(text.data());
    }
    result.push_back(nullptr);
    return result;
}

// Spawn attributes every child gets: default signal handling and mask, whatever the caller set up
// for its own threads.
class SpawnAttributes {
public:
    explicit SpawnAttributes(short extraFlags = 0) {
        posix_spawnattr_init(&m_attributes);
        sigset_t none;
        sigemptyset(&none);
        posix_spawnattr_setsigmask(&m_attributes, &none);
        sigset_t defaults;
        sigemptyset(&defaults);
        sigaddset(&defaults, SIGPIPE);
        sigaddset(&defaults, SIGCHLD);
        posix_spawnattr_setsigdefault(&m_attributes, &defaults);
        posix_spawnattr_setflags(&m_attributes,
                                 POSIX_SPAWN_SETSIGMASK | POSIX_SPAWN_SETSIGDEF | extraFlags);
    }
    ~SpawnAttributes() { posix_spawnattr_destroy(&m_attributes); }
    SpawnAttributes(const SpawnAttributes&) = delete;
    SpawnAttributes& operator=(const SpawnAttributes&) = delete;
    posix_spawnattr_t* get() { return &m_attributes; }

private:
    posix_spawnattr_t m_attributes;
};

class FileActions {
public:
    FileActions() { posix_spawn_file_actions_init(&m_actions); }
    ~FileActions() { posix_spawn_file_actions_destroy(&m_actions); }
    FileActions(const FileActions&) = delete;
    FileActions& operator=(const FileActions&) = delete;
    posix_spawn_file_actions_t* get() { return &m_actions; }

private:
    posix_spawn_file_actions_t m_actions;
};

int spawn(pid_t& child, const std::string& program, FileActions& actions,
          SpawnAttributes& attributes, std::vector<std::string> arguments,
          std::vector<std::string> environment) {
    auto argv = pointers(arguments);
    auto envp = pointers(environment);
    // A bare name is looked up in PATH, as a shell would; a path is taken as it is.
    if (program.find('/') == std::string::npos) {
        return ::posix_spawnp(&child, program.c_str(), actions.get(), attributes.get(), argv.data(),
                              envp.data());
    }
    return ::posix_spawn(&child, program.c_str(), actions.get(), attributes.get(), argv.data(),
                         envp.data());
}

int exitStatusOf(int status) {
    if (WIFEXITED(status)) {
        return WEXITSTATUS(status);
    }
    return WIFSIGNALED(status) ? 128 + WTERMSIG(status) : -1;
}

int waitFor(pid_t child) {
    int status = 0;
    while (::waitpid(child, &status, 0) < 0) {
        if (errno != EINTR) {
            return -1;
        }
    }
    return exitStatusOf(status);
}

// Waits for the programs started to go on by themselves, all on one thread, so that none stays a
// zombie after it ends. Each child is watched through a pidfd; a child that has none (a kernel
// without them) is asked after now and then instead.
class ChildReaper {
public:
    static ChildReaper& shared() {
        // Never destroyed: a launch may come from a thread still running while the process ends.
        static auto* reaper = new ChildReaper();
        return *reaper;
    }

    void adopt(pid_t child, std::function<void(int)> onEnded) {
        FileDescriptor pidfd(static_cast<int>(::syscall(SYS_pidfd_open, child, 0)));
        std::lock_guard lock(m_mutex);
        m_children.push_back(Child{child, std::move(pidfd), std::move(onEnded)});
        if (!m_thread.joinable()) {
            m_thread = std::jthread([this](std::stop_token stop) { run(stop); });
        }
        wakeLocked();
    }

    // Ends the thread without waiting for the children: the ones still running are reaped by the
    // system once this process has ended, or by the thread a later launch starts again.
    void stop() {
        std::jthread thread;
        {
            std::lock_guard lock(m_mutex);
            thread = std::move(m_thread);
            thread.request_stop();
            wakeLocked();
        }
        if (thread.joinable()) {
            thread.join();
        }
    }

private:
    struct Child {
        pid_t pid;
        FileDescriptor pidfd;
        std::function<void(int)> onEnded;
    };

    ChildReaper() : m_wake(::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK)) {}

    void wakeLocked() const {
        const std::uint64_t one = 1;
        // A full counter wakes the thread as well.
        [[maybe_unused]] const auto written = ::write(m_wake.get(), &one, sizeof(one));
    }

    void run(const std::stop_token& stop) {
        std::vector<pollfd> watched;
        while (!stop.stop_requested()) {
            bool unwatched = false;
            watched.assign(1, pollfd{m_wake.get(), POLLIN, 0});
            {
                std::lock_guard lock(m_mutex);
                // Only this thread removes children, so their descriptors stay open meanwhile.
                for (const auto& child : m_children) {
                    watched.push_back(pollfd{child.pidfd.get(), POLLIN, 0});
                    unwatched = unwatched || !child.pidfd;
                }
            }
            // Without a wake-up descriptor, or with a child it cannot watch, it asks every 200 ms.
            const int timeout = (unwatched || !m_wake) ? 200 : -1;
            if (::poll(watched.data(), watched.size(), timeout) < 0 && errno != EINTR) {
                return;
            }
            std::uint64_t count = 0;
            [[maybe_unused]] const auto read = ::read(m_wake.get(), &count, sizeof(count));
            reapEnded();
        }
    }

    void reapEnded() {
        std::vector<std::function<void()>> told;
        {
            std::lock_guard lock(m_mutex);
            std::erase_if(m_children, [&told](Child& child) {
                int status = 0;
                const pid_t reaped = ::waitpid(child.pid, &status, WNOHANG);
                // Gone also when someone else reaped it (ECHILD), with its status unknown.
                const bool gone = reaped == child.pid || (reaped < 0 && errno == ECHILD);
                if (gone && child.onEnded) {
                    const int exitStatus = reaped == child.pid ? exitStatusOf(status) : -1;
                    told.push_back(
                        [onEnded = std::move(child.onEnded), exitStatus] { onEnded(exitStatus); });
                }
                return gone;
            });
        }
        // Outside the lock: a handler may launch another program.
        for (const auto& tell : told) {
            tell();
        }
    }

    std::mutex m_mutex;
    std::vector<Child> m_children;
    const FileDescriptor m_wake;
    std::jthread m_thread;
};

void setNonBlocking(int fd) {
    ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) | O_NONBLOCK);
}

}  // namespace

ProcessResult Process::run(const ProcessRequest& request) {
    if (request.arguments.empty() || request.arguments.front().empty()) {
        return Failure{ProcessError{ProcessError::Code::invalidRequest, "no program to run", {}}};
    }
    auto input = makePipe();
    auto output = makePipe();
    auto error = makePipe();
    if (!input || !output || !error) {
        return Failure{systemError("cannot make pipes")};
    }

    FileActions actions;
    posix_spawn_file_actions_adddup2(actions.get(), input->read.get(), STDIN_FILENO);
    posix_spawn_file_actions_adddup2(actions.get(), output->write.get(), STDOUT_FILENO);
    posix_spawn_file_actions_adddup2(actions.get(), error->write.get(), STDERR_FILENO);
    if (!request.workingDirectory.empty()) {
        posix_spawn_file_actions_addchdir_np(actions.get(), request.workingDirectory.c_str());
    }
    SpawnAttributes attributes;
    pid_t child = 0;
    const int spawned = spawn(child, request.arguments.front(), actions, attributes,
                              request.arguments, environmentWith(request.environment));
    input->read.reset();
    output->write.reset();
    error->write.reset();
    if (spawned != 0) {
        return Failure{ProcessError{
            ProcessError::Code::cannotStart,
            "cannot start " + request.arguments.front() + ": " + std::strerror(spawned),
            {}}};
    }

    ProcessOutcome outcome;
    const std::string& toWrite = request.input ? *request.input : std::string();
    std::size_t written = 0;
    if (toWrite.empty()) {
        input->write.reset();
    } else {
        setNonBlocking(input->write.get());
    }

    const auto deadline = std::chrono::steady_clock::now() + request.timeLimit;
    bool timedOut = false;
    char buffer[16384];
    while (output->read.valid() || error->read.valid()) {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
            deadline - std::chrono::steady_clock::now());
        if (left.count() <= 0) {
            timedOut = true;
            ::kill(child, SIGKILL);
            break;
        }
        pollfd descriptors[3] = {{output->read.get(), POLLIN, 0},
                                 {error->read.get(), POLLIN, 0},
                                 {input->write.get(), POLLOUT, 0}};
        const int ready = ::poll(descriptors, 3, static_cast<int>(left.count()));
        if (ready < 0 && errno != EINTR) {
            ::kill(child, SIGKILL);
            (void)waitFor(child);  // the poll failure is the error reported
            return Failure{systemError("cannot read the output of " + request.arguments.front())};
        }
        if (ready <= 0) {
            continue;
        }
        if (descriptors[2].revents != 0) {
            const ssize_t count =
                ::write(input->write.get(), toWrite.data() + written, toWrite.size() - written);
            if (count > 0) {
                written += static_cast<std::size_t>(count);
            }
            // A program that stops reading its input gets no more of it.
            if (written == toWrite.size() || (count < 0 && errno != EAGAIN && errno != EINTR)) {
                input->write.reset();
            }
        }
        const std::pair<FileDescriptor*, std::string*> streams[2] = {
            {&output->read, &outcome.standardOutput}, {&error->read, &outcome.standardError}};
        for (int i = 0; i < 2; ++i) {
            if (descriptors[i].revents == 0) {
                continue;
            }
            const ssize_t count = ::read(streams[i].first->get(), buffer, sizeof(buffer));
            if (count < 0 && errno == EINTR) {
                continue;
            }
            if (count <= 0) {
                streams[i].first->reset();
                continue;
            }
            std::string& kept = *streams[i].second;
            const std::size_t room =
                request.outputLimit - std::min(request.outputLimit, kept.size());
            kept.append(buffer, std::min(room, static_cast<std::size_t>(count)));
            outcome.outputTruncated =
                outcome.outputTruncated || room < static_cast<std::size_t>(count);
        }
    }
    input->write.reset();
    outcome.exitStatus = waitFor(child);
    if (timedOut) {
        return Failure{ProcessError{ProcessError::Code::timedOut,
                                    request.arguments.front() + " did not finish within " +
                                        std::to_string(request.timeLimit.count()) +
                                        " ms and was stopped",
                                    outcome.standardOutput + outcome.standardError}};
    }
    return outcome;
}

Result<pid_t, ProcessError> Process::launchDetached(const std::vector<std::string>& arguments,
                                                    std::function<void(int)> onEnded) {
    if (arguments.empty() || arguments.front().empty()) {
        return Failure{ProcessError{ProcessError::Code::invalidRequest, "no program to run", {}}};
    }
    FileActions actions;
    // Nothing of ours is read by the program, and it must not hold our terminal's input.
    posix_spawn_file_actions_addopen(actions.get(), STDIN_FILENO, "/dev/null", O_RDONLY, 0);
    SpawnAttributes attributes(POSIX_SPAWN_SETSID);
    pid_t child = 0;
    const int spawned =
        spawn(child, arguments.front(), actions, attributes, arguments, environmentWith({}));
    if (spawned != 0) {
        return Failure{
            ProcessError{ProcessError::Code::cannotStart,
                         "cannot start " + arguments.front() + ": " + std::strerror(spawned),
                         {}}};
    }
    // The child is ours until it ends: something must wait for it, or it stays a zombie.
    ChildReaper::shared().adopt(child, std::move(onEnded));
    return child;
}

void Process::stopReaping() {
    ChildReaper::shared().stop();
}

}  // namespace tarnwick
