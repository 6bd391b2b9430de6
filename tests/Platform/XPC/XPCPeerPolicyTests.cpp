#include "XPC/XPCPeerPolicy.h"
#include "support/TemporaryDirectory.h"

#include <gtest/gtest.h>

#include <map>
#include <unistd.h>

namespace tarnwick {
namespace {

TEST(XPCPeerPolicy, DesktopUserComesFromWhoeverStartedUs) {
    testing::TemporaryDirectory bundle;
    const uid_t owner = ::getuid();
    struct Row {
        const char* name;
        std::map<std::string, std::string> environment;
        std::filesystem::path bundlePath;
        uid_t expected;
    };
    const Row rows[] = {
        {"pkexec", {{"PKEXEC_UID", "1000"}, {"SUDO_UID", "1001"}}, bundle.path(), 1000},
        {"sudo", {{"SUDO_UID", "1001"}}, bundle.path(), 1001},
        {"garbage is ignored", {{"PKEXEC_UID", "10x"}, {"SUDO_UID", "-5"}}, bundle.path(), owner},
        {"started directly: the bundle's owner", {}, bundle.path(), owner},
        {"nothing tells: root", {}, "/nonexistent/Tarnwick.app", 0},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        const auto lookup = [&row](const std::string& name) -> std::optional<std::string> {
            auto found = row.environment.find(name);
            return found == row.environment.end() ? std::nullopt
                                                  : std::optional<std::string>(found->second);
        };
        EXPECT_EQ(XPCPeerPolicy::desktopUserIdentifier(lookup, row.bundlePath), row.expected);
    }
}

}  // namespace
}  // namespace tarnwick
