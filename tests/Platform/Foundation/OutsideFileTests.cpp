#include "Foundation/OutsideFile.h"
#include "support/TemporaryDirectory.h"

#include <gtest/gtest.h>

#include <cctype>
#include <fcntl.h>
#include <functional>
#include <stdlib.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

namespace tarnwick {
namespace {

using testing::TemporaryDirectory;
using testing::writeFile;

constexpr std::uint64_t kLimit = 16;

// What a read gave, in one line, followed by whether the reader had a controlling terminal after.
std::string describe(const Result<std::string, FileError>& read) {
    if (read) {
        return "read \"" + *read + "\"";
    }
    const auto& message = read.error().message;
    const bool notFound = read.error().code == FileError::Code::notFound;
    return std::string(notFound ? "not found: " : "failed: ") +
           message.substr(message.rfind(": ") + 2);
}

// Reads `file` in a child that, like the daemon, leads a session of its own without a terminal,
// and is killed if the read takes more than five seconds.
std::string readAsSessionLeader(const std::filesystem::path& file) {
    int pipe[2];
    if (::pipe2(pipe, O_CLOEXEC) != 0) {
        return "no pipe";
    }
    const pid_t child = ::fork();
    if (child == 0) {
        ::setsid();
        ::alarm(5);
        std::string line = describe(OutsideFile::read(file, kLimit));
        // Opening /dev/tty works only for a process with a controlling terminal.
        const int tty = ::open("/dev/tty", O_RDONLY | O_NOCTTY | O_NONBLOCK);
        line += tty >= 0 ? "; took a terminal" : "";
        (void)!::write(pipe[1], line.data(), line.size());
        ::_exit(0);
    }
    ::close(pipe[1]);
    std::string output;
    char buffer[512];
    for (ssize_t count; (count = ::read(pipe[0], buffer, sizeof buffer)) > 0;) {
        output.append(buffer, static_cast<std::size_t>(count));
    }
    ::close(pipe[0]);
    int status = 0;
    ::waitpid(child, &status, 0);
    if (WIFSIGNALED(status)) {
        return "killed by signal " + std::to_string(WTERMSIG(status));
    }
    return output;
}

struct Case {
    const char* name;
    std::function<std::filesystem::path(const TemporaryDirectory&)> make;
    const char* expected;
};

void PrintTo(const Case& value, std::ostream* out) {
    *out << value.name;
}

class OutsideFileRead : public ::testing::TestWithParam<Case> {};

TEST_P(OutsideFileRead, NeverBlocksOrTakesATerminalAndGivesOnlyRegularFiles) {
    TemporaryDirectory folder;
    const auto file = GetParam().make(folder);
    EXPECT_EQ(readAsSessionLeader(file), GetParam().expected);
}

// The master side of a pseudo-terminal, held open while the test runs; gives the terminal's path.
std::filesystem::path pseudoTerminal() {
    static const int master = [] {
        const int fd = ::posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
        if (fd >= 0) {
            (void)::grantpt(fd);
            (void)::unlockpt(fd);
        }
        return fd;
    }();
    const char* name = master >= 0 ? ::ptsname(master) : nullptr;
    return name != nullptr ? name : "/no-pseudo-terminal";
}

std::filesystem::path linkTo(const TemporaryDirectory& folder,
                             const std::filesystem::path& target) {
    std::filesystem::create_symlink(target, folder / "Info.plist");
    return folder / "Info.plist";
}

INSTANTIATE_TEST_SUITE_P(
    Cases, OutsideFileRead,
    ::testing::Values(Case{"regular",
                           [](const auto& folder) {
                               writeFile(folder / "a", "hello");
                               return folder / "a";
                           },
                           "read \"hello\""},
                      Case{"at the limit",
                           [](const auto& folder) {
                               writeFile(folder / "a", std::string(kLimit, 'x'));
                               return folder / "a";
                           },
                           "read \"xxxxxxxxxxxxxxxx\""},
                      Case{"too large",
                           [](const auto& folder) {
                               writeFile(folder / "a", std::string(kLimit + 1, 'x'));
                               return folder / "a";
                           },
                           "failed: larger than 16 bytes"},
                      Case{"symlink to a regular file",
                           [](const auto& folder) {
                               writeFile(folder / "a", "hello");
                               return linkTo(folder, folder / "a");
                           },
                           "read \"hello\""},
                      Case{"missing", [](const auto& folder) { return folder / "missing"; },
                           "not found: No such file or directory"},
                      Case{"directory", [](const auto& folder) { return folder.path(); },
                           "failed: not a regular file"},
                      Case{"FIFO without a writer",
                           [](const auto& folder) {
                               ::mkfifo((folder / "fifo").c_str(), 0600);
                               return folder / "fifo";
                           },
                           "failed: not a regular file"},
                      Case{"symlink to an endless device",
                           [](const auto& folder) { return linkTo(folder, "/dev/zero"); },
                           "failed: not a regular file"},
                      Case{"symlink to a terminal",
                           [](const auto& folder) { return linkTo(folder, pseudoTerminal()); },
                           "failed: not a regular file"}),
    [](const ::testing::TestParamInfo<Case>& param) {
        std::string name = param.param.name;
        for (char& c : name) {
            c = std::isalnum(static_cast<unsigned char>(c)) ? c : '_';
        }
        return name;
    });

}  // namespace
}  // namespace tarnwick
