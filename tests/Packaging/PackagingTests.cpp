#include "Foundation/Process.h"
#include "support/TemporaryDirectory.h"

#include <gtest/gtest.h>

#include <map>
#include <regex>
#include <unistd.h>

namespace tarnwick {
namespace {

// Each action's <allow_active> answer, by the action's last name ("install-filter").
std::map<std::string, std::string> activeAnswers(const std::string& policy) {
    std::map<std::string, std::string> answers;
    const std::regex action(
        R"re(<action id="[^"]*\.([a-z-]+)">[\s\S]*?<allow_active>([a-z_]+)</allow_active>)re");
    for (std::sregex_iterator it(policy.begin(), policy.end(), action), end; it != end; ++it) {
        answers[(*it)[1]] = (*it)[2];
    }
    return answers;
}

// A kept authorisation would let the application's process run the step again unasked for five
// minutes: only starting the filter that is already installed may keep it.
TEST(PolkitPolicyTest, EveryStepButStartingTheFilterAsksEachTime) {
    const auto answers = activeAnswers(testing::readFile(TEST_POLICY));
    EXPECT_EQ(answers, (std::map<std::string, std::string>{
                           {"install-filter", "auth_admin"},
                           {"start-filter", "auth_admin_keep"},
                           {"remove-filter", "auth_admin"},
                           {"remove-application", "auth_admin"},
                           {"move-application", "auth_admin"},
                       }));
}

// What the filter leaves on the machine, made in a private mount namespace whose /run,
// /var/lib, /usr/local/lib and systemd unit folder are empty, then the maintainer script as dpkg
// runs it: removing keeps the configuration, purging leaves nothing.
// clang-format off
constexpr const char* kLeftovers = R"sh(set -e
for folder in /run /var/lib /usr/local/lib /etc/systemd/system; do
    mount -t tmpfs -o mode=0755 tmpfs "$folder"
done
postrm=$1 extension=$2
mkdir -p "/var/lib/tarnwick/$extension" /run/tarnwick \
    "/usr/local/lib/tarnwick/SystemExtensions/$extension.systemextension/Contents/MacOS"
echo '{"enabled": true}' > "/var/lib/tarnwick/$extension/filter-configuration.json"
: > /usr/local/lib/tarnwick/SystemExtensions/.lock
: > /run/tarnwick/.lock
: > "/etc/systemd/system/$extension.service"
mkdir -p /usr/local/lib/other
"$postrm" remove
[ -e "/var/lib/tarnwick/$extension/filter-configuration.json" ] || echo "remove took the configuration"
"$postrm" purge
for left in /var/lib/tarnwick /usr/local/lib/tarnwick /run/tarnwick \
    "/etc/systemd/system/$extension.service"; do
    [ ! -e "$left" ] || echo "left $left"
done
[ -d /usr/local/lib/other ] || echo "took /usr/local/lib/other"
echo checked)sh";
// clang-format on

TEST(MaintainerScriptTest, PurgingLeavesNothingOfTheFilterBehind) {
    if (::geteuid() != 0) {
        GTEST_SKIP() << "needs root";
    }
    ProcessRequest request;
    request.arguments = {"/usr/bin/unshare", "--mount",
                         "--propagation",    "private",
                         "/bin/sh",          "-c",
                         kLeftovers,         "sh",
                         TEST_POSTRM,        TEST_EXTENSION_IDENTIFIER};
    const auto outcome = Process::run(request);
    ASSERT_TRUE(outcome);
    EXPECT_EQ(outcome->exitStatus, 0) << outcome->standardError;
    EXPECT_EQ(outcome->standardOutput, "checked\n") << outcome->standardError;
}

}  // namespace
}  // namespace tarnwick
