#include "FirewallRules.h"

#include "OSLog/OSLog.h"

#include <chrono>
#include <cstdio>
#include <sstream>
#include <unistd.h>
#include <vector>

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

FirewallRules::FirewallRules(Settings settings) : FirewallRules(settings, systemCommandRunner()) {}

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
    const std::string ownerMask = hex(settings.ownerMark);
    const std::string owned = "-m mark ! --mark 0x0/" + ownerMask;
    const std::string in = kInputChain;
    const std::string out = kOutputChain;
    std::string rules = "*filter\n";
    rules += ":" + in + " - [0:0]\n";
    rules += ":" + out + " - [0:0]\n";
    rules += std::string(":") + kOwnersChain + " - [0:0]\n";
    rules += std::string(":") + kOwnedChain + " - [0:0]\n";
    for (const auto& [chain, loopback] :
         {std::pair{out, std::string("-o lo")}, std::pair{in, std::string("-i lo")}}) {
        rules += "-A " + chain + " -p tcp " + mark + " -j REJECT --reject-with tcp-reset\n";
        rules += "-A " + chain + " " + mark + " -j REJECT " + unreachable + "\n";
        rules += "-A " + chain + " -p udp " + owned + " -j " + kOwnedChain + "\n";
        if (chain == in) {
            rules += "-A " + chain + " -p udp --sport 53 -m conntrack --ctstate ESTABLISHED " +
                     nameQueue + "\n";
        }
        rules += "-A " + chain + " " + loopback + " -j RETURN\n";
        rules += "-A " + chain + " -p tcp -m conntrack --ctstate NEW " + flowQueue + "\n";
        // A SYN whatever conntrack makes of it: one on the ports of an earlier connection that
        // conntrack still keeps (closed by the server's reset, or its reset never seen) is let
        // through as part of that connection, yet it opens a new one.
        rules += "-A " + chain + " -p tcp --syn " + flowQueue + "\n";
        rules += "-A " + chain + " -p udp -m conntrack --ctstate NEW " + flowQueue + "\n";
        if (chain == out) {
            // Only the sender's socket has a user: datagrams that arrive are left to the socket
            // the kernel gives them to.
            rules += "-A " + chain + " -p udp -m connmark ! --mark 0x0/" + ownerMask + " -j " +
                     kOwnersChain + "\n";
        }
    }
    // The users' rules go before this one as they come.
    rules += std::string("-A ") + kOwnersChain + " " + flowQueue + "\n";
    rules += std::string("-A ") + kOwnedChain + " -j CONNMARK --save-mark --nfmask " + ownerMask +
             " --ctmask " + ownerMask + "\n";
    rules += std::string("-A ") + kOwnedChain + " -j MARK --set-xmark 0x0/" + ownerMask + "\n";
    rules += std::string("-A ") + kOwnedChain + " -j ACCEPT\n";
    rules += "-I INPUT 1 -j " + in + "\n";
    rules += "-I OUTPUT 1 -j " + out + "\n";
    rules += "COMMIT\n";
    return rules;
}

std::uint32_t FirewallRules::slots(const Settings& settings) {
    return settings.ownerMark == 0 ? 0 : settings.ownerMark >> __builtin_ctz(settings.ownerMark);
}

std::uint32_t FirewallRules::ownerMarkOf(const Settings& settings, std::uint32_t slot) {
    return settings.ownerMark == 0
               ? 0
               : (slot << __builtin_ctz(settings.ownerMark)) & settings.ownerMark;
}

std::vector<std::string> FirewallRules::ownerRule(const Settings& settings, std::uint32_t slot,
                                                  uid_t uid) {
    return {"-w",
            "5",
            "-I",
            kOwnersChain,
            "1",
            "-m",
            "connmark",
            "--mark",
            hex(ownerMarkOf(settings, slot)) + "/" + hex(settings.ownerMark),
            "-m",
            "owner",
            "--uid-owner",
            std::to_string(uid),
            "-j",
            "RETURN"};
}

Result<void, std::string> FirewallRules::addOwner(std::uint32_t slot, uid_t uid) {
    if (slot == 0 || slot > slots(m_settings)) {
        return Failure{"no owner slot " + std::to_string(slot)};
    }
    for (const bool ipv6 : {false, true}) {
        const std::string name = ipv6 ? "ip6tables" : "iptables";
        ProcessRequest request;
        request.arguments = {tool(name.c_str())};
        const auto rule = ownerRule(m_settings, slot, uid);
        request.arguments.insert(request.arguments.end(), rule.begin(), rule.end());
        const auto result = m_runner(request);
        // IPv6 rules may be missing on a host without IPv6; install said so already.
        if (!ipv6 && (!result || !result->succeeded())) {
            return Failure{
                name + " failed: " +
                (result ? result->standardError + result->standardOutput : result.error().message)};
        }
    }
    return {};
}

Result<void, std::string> FirewallRules::install() {
    remove();
    if (auto installed = installFamily(false); !installed) {
        remove();
        return installed;
    }
    if (auto installed = installFamily(true); !installed) {
        osLog("IPv6 connections are not filtered: " + installed.error(), OSLogType::error,
              rulesLog());
    }
    return {};
}

Result<void, std::string> FirewallRules::installFamily(bool ipv6) {
    const std::string name = ipv6 ? "ip6tables-restore" : "iptables-restore";
    ProcessRequest request;
    request.arguments = {tool(name.c_str()), "-w", "5", "--noflush"};
    request.input = ruleset(ipv6, m_settings);
    const auto result = m_runner(request);
    if (!result) {
        return Failure{name + " did not run: " + result.error().message};
    }
    if (!result->succeeded()) {
        return Failure{name + " failed: " + result->standardError + result->standardOutput};
    }
    return {};
}

void FirewallRules::remove() {
    removeFamily(false);
    removeFamily(true);
}

void FirewallRules::removeFamily(bool ipv6) {
    const std::string program = tool(ipv6 ? "ip6tables" : "iptables");
    const auto run = [&](std::vector<std::string> arguments) {
        ProcessRequest request;
        request.arguments = {program, "-w", "5"};
        request.arguments.insert(request.arguments.end(), arguments.begin(), arguments.end());
        return m_runner(request);
    };
    // A crashed run may have added its jumps more than once.
    for (const auto& [parent, chain] :
         {std::pair{"INPUT", kInputChain}, std::pair{"OUTPUT", kOutputChain}}) {
        for (int attempt = 0; attempt < 16; ++attempt) {
            const auto result = run({"-D", parent, "-j", chain});
            if (!result || !result->succeeded()) {
                break;
            }
        }
    }
    // Chains that are not there are what removal wants: failures here change nothing.
    for (const char* chain : {kInputChain, kOutputChain, kOwnersChain, kOwnedChain}) {
        (void)run({"-F", chain});
        (void)run({"-X", chain});
    }
}

std::string FirewallRules::missingRules(const std::string& listing, const Settings& settings) {
    const std::string queue = "-j NFQUEUE --queue-num " + std::to_string(settings.flowQueue);
    bool inputJump = false;
    bool outputJump = false;
    bool inputQueue = false;
    bool outputQueue = false;
    std::istringstream lines(listing);
    std::string line;
    while (std::getline(lines, line)) {
        inputJump = inputJump || line == std::string("-A INPUT -j ") + kInputChain;
        outputJump = outputJump || line == std::string("-A OUTPUT -j ") + kOutputChain;
        const auto feeds = [&](const char* chain) {
            const std::string prefix = std::string("-A ") + chain + " ";
            const auto at = line.find(queue);
            const auto end = at + queue.size();
            return line.rfind(prefix, 0) == 0 && at != std::string::npos &&
                   (end == line.size() || line[end] == ' ');
        };
        inputQueue = inputQueue || feeds(kInputChain);
        outputQueue = outputQueue || feeds(kOutputChain);
    }
    std::string missing;
    for (const auto& [present, what] :
         {std::pair{outputJump, std::string("the jump from OUTPUT to ") + kOutputChain},
          std::pair{inputJump, std::string("the jump from INPUT to ") + kInputChain},
          std::pair{outputQueue, std::string("the flow queue rules of ") + kOutputChain},
          std::pair{inputQueue, std::string("the flow queue rules of ") + kInputChain}}) {
        if (!present) {
            missing += (missing.empty() ? "" : ", ") + what;
        }
    }
    return missing;
}

Result<void, std::string> FirewallRules::check() const {
    ProcessRequest request;
    request.arguments = {tool("iptables"), "-w", "5", "-S"};
    const auto result = m_runner(request);
    if (!result) {
        return Failure{"iptables did not run: " + result.error().message};
    }
    if (!result->succeeded()) {
        return Failure{"iptables failed: " + result->standardError};
    }
    if (auto missing = missingRules(result->standardOutput, m_settings); !missing.empty()) {
        return Failure{"the firewall rules lack " + missing};
    }
    return {};
}

}  // namespace tarnwick
