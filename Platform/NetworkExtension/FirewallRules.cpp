#include "FirewallRules.h"

#include "OSLog/OSLog.h"

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <poll.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

extern char** environ;

namespace tarnwick {

namespace {

const OSLog& rulesLog() {
    // Never destroyed: threads that outlive main may still log.
    static const auto* log = new OSLog("com.brenlow-works.corvid", "filter");
    return *log;
}

std::string tool(const char* name) {
    for (const char* folder : {"/usr/sbin/", "/sbin/", "/usr/bin/", "/bin/"}) {
        std::string path = std::string(folder) + name;
        if (::access(path.c_str(), X_OK) == 0) {
            return path;
        }
    }
    return std::string("/usr/sbin/") + name;
}

std::string hex(std::uint32_t value) {
    char text[16];
    std::snprintf(text, sizeof(text), "0x%x", value);
    return text;
}

}  // namespace

FirewallRules::FirewallRules(Settings settings)
    : FirewallRules(settings,
                    [](const std::vector<std::string>& arguments, const std::string& input) {
                        return runCommand(arguments, input);
                    }) {}

FirewallRules::FirewallRules(Settings settings, CommandRunner runner)
    : m_settings(settings), m_runner(std::move(runner)) {}

std::string FirewallRules::ruleset(bool ipv6, const Settings& settings) {
    const std::string mark =
        "-m mark --mark " + hex(settings.dropMark) + "/" + hex(settings.dropMark);
    const std::string flowQueue =
        "-j NFQUEUE --queue-num " + std::to_string(settings.flowQueue) + " --queue-bypass";
    const std::string nameQueue =
        "-j NFQUEUE --queue-num " + std::to_string(settings.nameQueue) + " --queue-bypass";
    const std::string unreachable =
        ipv6 ? "--reject-with icmp6-port-unreachable" : "--reject-with icmp-port-unreachable";
    const std::string in = kInputChain;
    const std::string out = kOutputChain;
    std::string rules = "*filter\n";
    rules += ":" + in + " - [0:0]\n";
    rules += ":" + out + " - [0:0]\n";
    for (const auto& [chain, loopback] :
         {std::pair{out, std::string("-o lo")}, std::pair{in, std::string("-i lo")}}) {
        rules += "-A " + chain + " -p tcp " + mark + " -j REJECT --reject-with tcp-reset\n";
        rules += "-A " + chain + " " + mark + " -j REJECT " + unreachable + "\n";
        if (chain == in) {
            rules += "-A " + chain + " -p udp --sport 53 -m conntrack --ctstate ESTABLISHED " +
                     nameQueue + "\n";
        }
        rules += "-A " + chain + " " + loopback + " -j RETURN\n";
        rules += "-A " + chain + " -p tcp -m conntrack --ctstate NEW " + flowQueue + "\n";
        rules += "-A " + chain + " -p udp -m conntrack --ctstate NEW " + flowQueue + "\n";
    }
    rules += "-I INPUT 1 -j " + in + "\n";
    rules += "-I OUTPUT 1 -j " + out + "\n";
    rules += "COMMIT\n";
    return rules;
}

std::optional<std::string> FirewallRules::install() {
    remove();
    if (auto error = installFamily(false)) {
        remove();
        return error;
    }
    if (auto error = installFamily(true)) {
        osLog("IPv6 connections are not filtered: " + *error, OSLogType::error, rulesLog());
    }
    return std::nullopt;
}

std::optional<std::string> FirewallRules::installFamily(bool ipv6) {
    const auto result =
        m_runner({tool(ipv6 ? "ip6tables-restore" : "iptables-restore"), "-w", "5", "--noflush"},
                 ruleset(ipv6, m_settings));
    if (!result.ran) {
        return std::string(ipv6 ? "ip6tables-restore" : "iptables-restore") + " did not run";
    }
    if (result.exitStatus != 0) {
        return std::string(ipv6 ? "ip6tables-restore" : "iptables-restore") +
               " failed: " + result.output;
    }
    return std::nullopt;
}

void FirewallRules::remove() {
    removeFamily(false);
    removeFamily(true);
}

void FirewallRules::removeFamily(bool ipv6) {
    const std::string program = tool(ipv6 ? "ip6tables" : "iptables");
    const auto run = [&](std::vector<std::string> arguments) {
        arguments.insert(arguments.begin(), {program, "-w", "5"});
        return m_runner(arguments, {});
    };
    // A crashed run may have added its jumps more than once.
    for (const auto& [parent, chain] :
         {std::pair{"INPUT", kInputChain}, std::pair{"OUTPUT", kOutputChain}}) {
        for (int attempt = 0; attempt < 16; ++attempt) {
            const auto result = run({"-D", parent, "-j", chain});
            if (!result.ran || result.exitStatus != 0) {
                break;
            }
        }
    }
    for (const char* chain : {kInputChain, kOutputChain}) {
        run({"-F", chain});
        run({"-X", chain});
    }
}

FirewallRules::CommandResult FirewallRules::runCommand(const std::vector<std::string>& arguments,
                                                       const std::string& input,
                                                       std::chrono::seconds timeLimit) {
    CommandResult result;
    int inputPipe[2] = {-1, -1};
    int outputPipe[2] = {-1, -1};
    if (::pipe2(inputPipe, O_CLOEXEC) != 0) {
        return result;
    }
    if (::pipe2(outputPipe, O_CLOEXEC) != 0) {
        ::close(inputPipe[0]);
        ::close(inputPipe[1]);
        return result;
    }
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, inputPipe[0], STDIN_FILENO);
    posix_spawn_file_actions_adddup2(&actions, outputPipe[1], STDOUT_FILENO);
    posix_spawn_file_actions_adddup2(&actions, outputPipe[1], STDERR_FILENO);
    posix_spawnattr_t attributes;
    posix_spawnattr_init(&attributes);
    // The caller may block signals for its own handling; the tool must get them as usual.
    sigset_t none;
    sigemptyset(&none);
    posix_spawnattr_setsigmask(&attributes, &none);
    posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETSIGMASK);
    std::vector<char*> argv;
    for (const auto& argument : arguments) {
        argv.push_back(const_cast<char*>(argument.c_str()));
    }
    argv.push_back(nullptr);
    pid_t child = 0;
    const int spawned = ::posix_spawn(&child, argv[0], &actions, &attributes, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    posix_spawnattr_destroy(&attributes);
    ::close(inputPipe[0]);
    ::close(outputPipe[1]);
    if (spawned != 0) {
        ::close(inputPipe[1]);
        ::close(outputPipe[0]);
        return result;
    }
    result.ran = true;
    // The input is a few kilobytes at most: it fits the pipe, so this write does not block.
    std::size_t written = 0;
    while (written < input.size()) {
        const ssize_t count = ::write(inputPipe[1], input.data() + written, input.size() - written);
        if (count < 0 && errno == EINTR) {
            continue;
        }
        if (count <= 0) {
            break;
        }
        written += static_cast<std::size_t>(count);
    }
    ::close(inputPipe[1]);

    const auto deadline = std::chrono::steady_clock::now() + timeLimit;
    char buffer[4096];
    for (;;) {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
            deadline - std::chrono::steady_clock::now());
        if (left.count() <= 0) {
            ::kill(child, SIGKILL);
            result.output += "(killed after " + std::to_string(timeLimit.count()) + " s)";
            break;
        }
        pollfd descriptor{outputPipe[0], POLLIN, 0};
        const int ready = ::poll(&descriptor, 1, static_cast<int>(left.count()));
        if (ready < 0 && errno == EINTR) {
            continue;
        }
        if (ready <= 0) {
            continue;
        }
        const ssize_t count = ::read(outputPipe[0], buffer, sizeof(buffer));
        if (count < 0 && errno == EINTR) {
            continue;
        }
        if (count <= 0) {
            break;
        }
        if (result.output.size() < 65536) {
            result.output.append(buffer, static_cast<std::size_t>(count));
        }
    }
    ::close(outputPipe[0]);
    int status = 0;
    while (::waitpid(child, &status, 0) < 0 && errno == EINTR) {
    }
    result.exitStatus = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    return result;
}

}  // namespace tarnwick
