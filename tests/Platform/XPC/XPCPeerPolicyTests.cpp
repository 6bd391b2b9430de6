#include "XPC/XPCPeerPolicy.h"

#include <gtest/gtest.h>

#include <map>

namespace tarnwick {
namespace {

TEST(XPCPeerPolicy, DesktopUserComesFromWhoeverStartedUsOrFromNobody) {
    struct Row {
        const char* name;
        std::map<std::string, std::string> environment;
        std::optional<uid_t> expected;
    };
    const Row rows[] = {
        {"helper or systemd unit",
         {{"TARNWICK_DESKTOP_UID", "1002"}, {"PKEXEC_UID", "1000"}, {"SUDO_UID", "1001"}},
         1002},
        {"pkexec", {{"PKEXEC_UID", "1000"}, {"SUDO_UID", "1001"}}, 1000},
        {"sudo", {{"SUDO_UID", "1001"}}, 1001},
        {"root asked for itself", {{"PKEXEC_UID", "0"}}, 0},
        {"garbage is skipped",
         {{"TARNWICK_DESKTOP_UID", ""}, {"PKEXEC_UID", "10x"}, {"SUDO_UID", "1001"}},
         1001},
        {"nothing usable: nobody, not root",
         {{"TARNWICK_DESKTOP_UID", "4294967295"}, {"PKEXEC_UID", "-5"}, {"SUDO_UID", " 7"}},
         std::nullopt},
        {"started with a clean environment", {}, std::nullopt},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        const auto lookup = [&row](const std::string& name) -> std::optional<std::string> {
            auto found = row.environment.find(name);
            return found == row.environment.end() ? std::nullopt
                                                  : std::optional<std::string>(found->second);
        };
        EXPECT_EQ(XPCPeerPolicy::desktopUserIdentifier(lookup), row.expected);
    }
}

}  // namespace
}  // namespace tarnwick
