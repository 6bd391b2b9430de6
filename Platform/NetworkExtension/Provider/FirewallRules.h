#pragma once

#include "Foundation/Process.h"
#include "Foundation/Result.h"

#include <cstdint>
#include <string>

namespace tarnwick {

// The packet-filter rules that bring new connections to the filter, in two chains of our own
// (TARNWICK-IN, TARNWICK-OUT) that INPUT and OUTPUT jump to first, for IPv4 and IPv6:
//   - a packet marked as dropped is rejected: a TCP reset, or ICMP port unreachable, so the
//     connection fails at once rather than waiting out its retries;
//   - DNS answers are copied to the name queue (the filter learns which name an address was looked
//     up by), loopback traffic included;
//   - loopback traffic is left alone;
//   - the first packet of each new TCP or UDP connection goes to the flow queue, and so does
//     every TCP SYN, which always starts a new connection.
// Every queue rule bypasses the queue when nothing listens, so traffic flows when the filter is
// not running; rules left by a process that died are therefore harmless, and removed at the next
// start.
class FirewallRules {
public:
    struct Settings {
        std::uint16_t flowQueue = 4700;
        std::uint16_t nameQueue = 4701;
        std::uint32_t dropMark = 0x01000000;  // one bit, tested under its own mask
    };

    static constexpr const char* kInputChain = "TARNWICK-IN";
    static constexpr const char* kOutputChain = "TARNWICK-OUT";

    explicit FirewallRules(Settings settings);
    // Runs the iptables tools through `runner`.
    FirewallRules(Settings settings, CommandRunner runner);

    // Replaces any rules of ours with fresh ones. The reason when the IPv4 rules could not be
    // added (IPv6 rules that fail, on a host without IPv6, are logged and skipped).
    Result<void, std::string> install();
    // Removes every rule and chain of ours; quiet when there are none.
    void remove();
    // Whether the IPv4 rules that feed the flow queue are in place; what is missing when not.
    Result<void, std::string> check() const;

    const Settings& settings() const { return m_settings; }

    // The iptables-restore input that adds the chains and the jumps to them.
    static std::string ruleset(bool ipv6, const Settings& settings);
    // What an `iptables -S` listing lacks of the jumps to our chains and of the rules that send
    // new connections to the flow queue; empty when nothing is missing.
    static std::string missingRules(const std::string& listing, const Settings& settings);

private:
    Result<void, std::string> installFamily(bool ipv6);
    void removeFamily(bool ipv6);

    Settings m_settings;
    CommandRunner m_runner;
};

}  // namespace tarnwick
