#include "Dispatch/RunLoop.h"
#include "FilterLink/AppCommunication.h"
#include "FilterLink/ProviderCommunication.h"
#include "Foundation/Bundle.h"
#include "Foundation/FileDescriptor.h"
#include "Screens/ConnectionsMonitor/IPCConnection.h"
#include "support/TemporaryDirectory.h"

#include <gtest/gtest.h>

#include <sys/socket.h>

using namespace std::chrono_literals;

namespace tarnwick::testing {
namespace {

// The extension's end of a socket pair, answering every registration as told.
class Provider final : public ProviderCommunication {
public:
    explicit Provider(bool answer) : m_answer(answer) {}
    void registerApp(Reply reply) override { reply(m_answer); }

private:
    const bool m_answer;
};

TEST(ApplicationLink, ARegistrationAskedWhileOneIsOnItsWayGetsThatOnesAnswer) {
    // Start-up asks twice in one turn of the main queue; the second must not hear "registered"
    // before the first knows, or a failed registration looks like a running filter.
    enum class Extension { registers, refuses, isGone };
    for (const auto extension : {Extension::registers, Extension::refuses, Extension::isGone}) {
        SCOPED_TRACE(static_cast<int>(extension));
        std::vector<std::shared_ptr<XPCConnection>> peers;
        int connections = 0;
        IPCConnection link([&](const std::string&) {
            int fds[2];
            EXPECT_EQ(::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, fds), 0);
            ++connections;
            if (extension == Extension::isGone) {
                ::close(fds[1]);
                return XPCConnection::adoptSocket(FileDescriptor(fds[0]), "application");
            }
            auto peer = XPCConnection::adoptSocket(FileDescriptor(fds[1]), "extension");
            peer->setExportedInterface(ProviderCommunication::interface());
            peer->setExportedObject(ProviderCommunication::exportedObject(
                std::make_shared<Provider>(extension == Extension::registers)));
            peer->setRemoteObjectInterface(AppCommunication::interface());
            peer->resume();
            peers.push_back(peer);
            return XPCConnection::adoptSocket(FileDescriptor(fds[0]), "application");
        });
        TemporaryDirectory folder;
        std::filesystem::create_directories(folder.path() / "Ext.systemextension/Contents");
        writeFile(folder.path() / "Ext.systemextension/Contents/Info.plist",
                  "<?xml version=\"1.0\"?><plist version=\"1.0\"><dict><key>NetworkExtension</key>"
                  "<dict><key>NEMachServiceName</key><string>svc</string></dict></dict></plist>");
        const Bundle bundle(folder.path() / "Ext.systemextension");
        std::vector<bool> answers;
        for (int i = 0; i < 2; ++i) {
            link.registerWithExtension(bundle, {}, [&](bool ok) { answers.push_back(ok); });
        }
        ASSERT_TRUE(RunLoop::main().runUntil([&] { return answers.size() == 2; }, 10s));
        const bool registered = extension == Extension::registers;
        EXPECT_EQ(answers, (std::vector<bool>{registered, registered}));
        EXPECT_EQ(connections, 1) << "one connection for both";
        EXPECT_EQ(link.hasConnection(), registered);
        for (const auto& peer : peers) {
            peer->invalidate();
        }
    }
}

}  // namespace
}  // namespace tarnwick::testing
