#include "NetworkExtension/Provider/FirewallRules.h"
#include "NetworkExtension/Provider/NetfilterQueueBindings.h"

#include <gtest/gtest.h>

#include <set>
#include <string>
#include <vector>

namespace tarnwick {
namespace {

TEST(FirewallRules, RulesetForIPv4) {
    EXPECT_EQ(FirewallRules::ruleset(false, {}),
              "*filter\n"
              ":TARNWICK-IN - [0:0]\n"
              ":TARNWICK-OUT - [0:0]\n"
              ":TARNWICK-OWNERS - [0:0]\n"
              ":TARNWICK-OWNED - [0:0]\n"
              "-A TARNWICK-OUT -p tcp -m mark --mark 0x1000000/0x1000000 -j REJECT "
              "--reject-with tcp-reset\n"
              "-A TARNWICK-OUT -m mark --mark 0x1000000/0x1000000 -j REJECT "
              "--reject-with icmp-port-unreachable\n"
              "-A TARNWICK-OUT -p udp -m mark ! --mark 0x0/0xfe000000 -j TARNWICK-OWNED\n"
              "-A TARNWICK-OUT -o lo -j RETURN\n"
              "-A TARNWICK-OUT -p tcp -m conntrack --ctstate NEW -j NFQUEUE --queue-num 4700 "
              "--queue-bypass\n"
              "-A TARNWICK-OUT -p tcp --syn -j NFQUEUE --queue-num 4700 --queue-bypass\n"
              "-A TARNWICK-OUT -p udp -m conntrack --ctstate NEW -j NFQUEUE --queue-num 4700 "
              "--queue-bypass\n"
              "-A TARNWICK-OUT -p udp -m connmark ! --mark 0x0/0xfe000000 -j TARNWICK-OWNERS\n"
              "-A TARNWICK-IN -p tcp -m mark --mark 0x1000000/0x1000000 -j REJECT "
              "--reject-with tcp-reset\n"
              "-A TARNWICK-IN -m mark --mark 0x1000000/0x1000000 -j REJECT "
              "--reject-with icmp-port-unreachable\n"
              "-A TARNWICK-IN -p udp -m mark ! --mark 0x0/0xfe000000 -j TARNWICK-OWNED\n"
              "-A TARNWICK-IN -p udp --sport 53 -m conntrack --ctstate ESTABLISHED -j NFQUEUE "
              "--queue-num 4701 --queue-bypass\n"
              "-A TARNWICK-IN -i lo -j RETURN\n"
              "-A TARNWICK-IN -p tcp -m conntrack --ctstate NEW -j NFQUEUE --queue-num 4700 "
              "--queue-bypass\n"
              "-A TARNWICK-IN -p tcp --syn -j NFQUEUE --queue-num 4700 --queue-bypass\n"
              "-A TARNWICK-IN -p udp -m conntrack --ctstate NEW -j NFQUEUE --queue-num 4700 "
              "--queue-bypass\n"
              "-A TARNWICK-OWNERS -j NFQUEUE --queue-num 4700 --queue-bypass\n"
              "-A TARNWICK-OWNED -j CONNMARK --save-mark --nfmask 0xfe000000 --ctmask "
              "0xfe000000\n"
              "-A TARNWICK-OWNED -j MARK --set-xmark 0x0/0xfe000000\n"
              "-A TARNWICK-OWNED -j ACCEPT\n"
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
            // The program by its name, wherever it was found.
            const std::string& program = request.arguments.front();
            std::string line = program.substr(
                program.rfind('/') == std::string::npos ? 0 : program.rfind('/') + 1);
            for (std::size_t i = 1; i < request.arguments.size(); ++i) {
                line += " " + request.arguments[i];
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
    EXPECT_EQ(broken.commands.back(), "ip6tables -w 5 -X TARNWICK-OWNED")
        << "a failed install removes what it may have added";
}

TEST(FirewallRules, CheckFindsWhatTheListingLacks) {
    const std::string complete =
        "-P INPUT ACCEPT\n-P OUTPUT ACCEPT\n-N TARNWICK-IN\n-N TARNWICK-OUT\n"
        "-A INPUT -j TARNWICK-IN\n-A OUTPUT -j TARNWICK-OUT\n"
        "-A TARNWICK-IN -p tcp -m conntrack --ctstate NEW -j NFQUEUE --queue-num 4700 "
        "--queue-bypass\n"
        "-A TARNWICK-OUT -p tcp -m conntrack --ctstate NEW -j NFQUEUE --queue-num 4700 "
        "--queue-bypass\n";
    const auto without = [&](const std::string& line) {
        std::string listing = complete;
        listing.erase(listing.find(line), line.size());
        return listing;
    };
    struct Row {
        const char* name;
        std::string listing;
        std::string missing;
    };
    const std::vector<Row> rows = {
        {"complete", complete, ""},
        {"no rules", "-P INPUT ACCEPT\n-P OUTPUT ACCEPT\n",
         "the jump from OUTPUT to TARNWICK-OUT, the jump from INPUT to TARNWICK-IN, the flow "
         "queue rules of TARNWICK-OUT, the flow queue rules of TARNWICK-IN"},
        {"jump gone", without("-A OUTPUT -j TARNWICK-OUT\n"),
         "the jump from OUTPUT to TARNWICK-OUT"},
        {"another queue",
         complete.substr(0, complete.find("-A TARNWICK-OUT -p")) +
             "-A TARNWICK-OUT -j NFQUEUE --queue-num 47000\n",
         "the flow queue rules of TARNWICK-OUT"},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        EXPECT_EQ(FirewallRules::missingRules(row.listing, {}), row.missing);
    }
}

TEST(FirewallRules, CheckRunsTheListingAndReportsAFailedTool) {
    std::vector<std::string> ran;
    FirewallRules rules({}, [&](const ProcessRequest& request) -> ProcessResult {
        ran = request.arguments;
        return ProcessOutcome{1, "", "iptables: Permission denied", {}};
    });
    const auto checked = rules.check();
    ASSERT_FALSE(checked.ok());
    EXPECT_NE(checked.error().find("Permission denied"), std::string::npos);
    ASSERT_FALSE(ran.empty());
    EXPECT_EQ(std::vector<std::string>(ran.begin() + 1, ran.end()),
              (std::vector<std::string>{"-w", "5", "-S"}));
}

TEST(NetfilterQueueBindings, ReadsTheQueueNumbersTheKernelLists) {
    EXPECT_EQ(NetfilterQueueBindings::parse(" 4700  12345     0 2 65531     0     0        0  1\n"
                                            " 4701  12345     0 2 65531     0     0       17  1\n"
                                            "garbage\n99999 1\n"),
              (std::set<std::uint16_t>{4700, 4701}));
    EXPECT_TRUE(NetfilterQueueBindings::parse("").empty());
    EXPECT_FALSE(NetfilterQueueBindings::read("/nonexistent/nfnetlink_queue").has_value());
}

TEST(FirewallRules, EachOwnerSlotNamesItsUserInBothFamilies) {
    const FirewallRules::Settings settings;
    EXPECT_EQ(FirewallRules::slots(settings), 127u);
    EXPECT_EQ(FirewallRules::ownerMarkOf(settings, 127), 0xfe000000u);

    Runner runner;
    EXPECT_TRUE(FirewallRules(settings, runner.function()).addOwner(2, 4243).ok());
    const std::string rule =
        " -w 5 -I TARNWICK-OWNERS 1 -m connmark --mark 0x4000000/0xfe000000 -m owner --uid-owner "
        "4243 -j RETURN";
    EXPECT_EQ(runner.commands, (std::vector<std::string>{"iptables" + rule, "ip6tables" + rule}));

    for (const std::uint32_t slot : {0u, 128u}) {
        SCOPED_TRACE(slot);
        Runner unused;
        EXPECT_FALSE(FirewallRules(settings, unused.function()).addOwner(slot, 4243).ok());
        EXPECT_TRUE(unused.commands.empty());
    }

    Runner noIPv6;
    noIPv6.failing = "ip6tables";
    EXPECT_TRUE(FirewallRules(settings, noIPv6.function()).addOwner(1, 0).ok());
    Runner broken;
    broken.failing = "iptables";
    EXPECT_FALSE(FirewallRules(settings, broken.function()).addOwner(1, 0).ok());
}

}  // namespace
}  // namespace tarnwick
