#include "NetworkExtension/Provider/FirewallRules.h"

#include <gtest/gtest.h>

namespace tarnwick {
namespace {

TEST(FirewallRules, RulesetForIPv4) {
    EXPECT_EQ(FirewallRules::ruleset(false, {}),
              "*filter\n"
              ":TARNWICK-IN - [0:0]\n"
              ":TARNWICK-OUT - [0:0]\n"
              "-A TARNWICK-OUT -p tcp -m mark --mark 0x1000000/0x1000000 -j REJECT "
              "--reject-with tcp-reset\n"
              "-A TARNWICK-OUT -m mark --mark 0x1000000/0x1000000 -j REJECT "
              "--reject-with icmp-port-unreachable\n"
              "-A TARNWICK-OUT -o lo -j RETURN\n"
              "-A TARNWICK-OUT -p tcp -m conntrack --ctstate NEW -j NFQUEUE --queue-num 4700 "
              "--queue-bypass\n"
              "-A TARNWICK-OUT -p tcp --syn -j NFQUEUE --queue-num 4700 --queue-bypass\n"
              "-A TARNWICK-OUT -p udp -m conntrack --ctstate NEW -j NFQUEUE --queue-num 4700 "
              "--queue-bypass\n"
              "-A TARNWICK-IN -p tcp -m mark --mark 0x1000000/0x1000000 -j REJECT "
              "--reject-with tcp-reset\n"
              "-A TARNWICK-IN -m mark --mark 0x1000000/0x1000000 -j REJECT "
              "--reject-with icmp-port-unreachable\n"
              "-A TARNWICK-IN -p udp --sport 53 -m conntrack --ctstate ESTABLISHED -j NFQUEUE "
              "--queue-num 4701 --queue-bypass\n"
              "-A TARNWICK-IN -i lo -j RETURN\n"
              "-A TARNWICK-IN -p tcp -m conntrack --ctstate NEW -j NFQUEUE --queue-num 4700 "
              "--queue-bypass\n"
              "-A TARNWICK-IN -p tcp --syn -j NFQUEUE --queue-num 4700 --queue-bypass\n"
              "-A TARNWICK-IN -p udp -m conntrack --ctstate NEW -j NFQUEUE --queue-num 4700 "
              "--queue-bypass\n"
              "-I INPUT 1 -j TARNWICK-IN\n"
              "-I OUTPUT 1 -j TARNWICK-OUT\n"
              "COMMIT\n");
    EXPECT_NE(FirewallRules::ruleset(true, {}).find("--reject-with icmp6-port-unreachable"),
              std::string::npos);
}

// Records the commands and fails those whose program name contains `failing`.
struct Runner {
    std::vector<std::string> commands;
    std::string failing = "\x01";

    CommandRunner function() {
        return [this](const ProcessRequest& request) -> ProcessResult {
            std::string line;
            for (const auto& argument : request.arguments) {
                line += (line.empty() ? "" : " ") +
                        argument.substr(
                            argument.rfind('/') == std::string::npos ? 0 : argument.rfind('/') + 1);
            }
            commands.push_back(line);
            const bool fails =
                line.find(failing) != std::string::npos || line.find(" -D ") != std::string::npos;
            ProcessOutcome outcome;
            outcome.exitStatus = fails ? 1 : 0;
            outcome.standardError = fails ? "no" : "";
            return outcome;
        };
    }
};

TEST(FirewallRules, InstallClearsOldRulesFirstAndFailsOnlyOnIPv4) {
    Runner runner;
    EXPECT_TRUE(FirewallRules({}, runner.function()).install().ok());
    ASSERT_FALSE(runner.commands.empty());
    EXPECT_EQ(runner.commands.front(), "iptables -w 5 -D INPUT -j TARNWICK-IN");
    EXPECT_NE(std::find(runner.commands.begin(), runner.commands.end(),
                        "iptables-restore -w 5 --noflush"),
              runner.commands.end());

    Runner noIPv6;
    noIPv6.failing = "ip6tables-restore";
    EXPECT_TRUE(FirewallRules({}, noIPv6.function()).install().ok());

    Runner broken;
    broken.failing = "iptables-restore";
    const auto failed = FirewallRules({}, broken.function()).install();
    ASSERT_FALSE(failed.ok());
    EXPECT_EQ(failed.error(), "iptables-restore failed: no");
    EXPECT_EQ(broken.commands.back(), "ip6tables -w 5 -X TARNWICK-OUT")
        << "a failed install removes what it may have added";
}

}  // namespace
}  // namespace tarnwick
