#pragma once

#include "ExtensionProcess.h"
#include "FilterExtension/IPCConnection.h"
#include "Foundation/Bundle.h"
#include "NetworkSandbox.h"

#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <unistd.h>
#include <vector>

namespace tarnwick::testing {

// The user the extension takes for the desktop user (as pkexec would tell it), and how long a step
// of a system test may take.
inline constexpr uid_t kDesktopUser = 4242;
inline constexpr std::chrono::seconds kWait{10};

// The real extension in network namespaces of the test's own, with real peer processes of the
// desktop user playing the application. Needs root; skipped elsewhere.
class ExtensionSystemTest : public ::testing::Test {
protected:
    void SetUp() override {
        if (::geteuid() != 0) {
            GTEST_SKIP() << "needs root";
        }
        m_sandbox = std::make_unique<NetworkSandbox>();
        m_service = IPCConnection::machServiceName(Bundle(TARNWICK_EXTENSION_BUNDLE));
    }

    int client() const { return m_sandbox->clientNamespace(); }

    // The socket folder as the extension's private mount namespace has it.
    std::filesystem::path runFolder() const { return runFolderOf(*m_extension); }

    // An extension process in the client namespace, with the test peer as the application that
    // may register: with /run of its own, or (`beside`) one more in the running one's mount
    // namespace.
    std::unique_ptr<ChildProcess> launchExtension(bool beside = false) const {
        ChildProcess::Options options;
        options.networkNamespace = client();
        options.privateRunFolders = !beside;
        options.mountNamespaceOf = beside ? m_extension->pid() : 0;
        options.environment = {"PKEXEC_UID=" + std::to_string(kDesktopUser)};
        return std::make_unique<ChildProcess>(
            std::vector<std::string>{TARNWICK_FILTER_EXTENSION, "--application",
                                     TARNWICK_TEST_PEER},
            options);
    }

    void startExtension() {
        m_extension = launchExtension();
        ASSERT_TRUE(waitUntil(
            [this] {
                return std::filesystem::exists(runFolder() / m_service) &&
                       std::filesystem::exists(runFolder() / "filter-manager");
            },
            kStartWait))
            << "the extension did not start listening";
    }

    // Saves the filter configuration as the application's filter manager would.
    std::optional<std::string> setFilterEnabled(bool enabled) {
        return tarnwick::testing::setFilterEnabled(*m_extension, enabled, kWait);
    }

    // The test peer, or the same peer run from another file (`program`).
    std::unique_ptr<ChildProcess> startPeer(const std::string& answer, uid_t user = kDesktopUser,
                                            std::vector<std::string> extra = {},
                                            const std::string& program = TARNWICK_TEST_PEER) {
        std::vector<std::string> arguments{program, "--service", m_service, "--answer", answer};
        arguments.insert(arguments.end(), extra.begin(), extra.end());
        ChildProcess::Options options;
        options.networkNamespace = client();
        options.mountNamespaceOf = m_extension->pid();
        options.user = user;
        return std::make_unique<ChildProcess>(arguments, options);
    }

    std::unique_ptr<NetworkSandbox> m_sandbox;
    std::unique_ptr<ChildProcess> m_extension;
    std::string m_service;
};

}  // namespace tarnwick::testing
