#include "QtSupport/MainThreadLinkBridge.h"
#include "XPC/XPCConnection.h"
#include "XPC/XPCEventLoop.h"
#include "XPC/XPCListener.h"
#include "XPC/XPCListenerDelegate.h"
#include "support/TemporaryDirectory.h"

#include <QTest>

#include <gtest/gtest.h>

#include <memory>
#include <mutex>
#include <string>
#include <unistd.h>
#include <vector>

namespace tarnwick {
namespace {

XPCInterface echoInterface() {
    return XPCInterface("Echo", 1, {{"echo:", {1, true}}});
}

class Echo final : public XPCExportedObject {
public:
    void invoke(const std::string&, const Value::Array& arguments, XPCReply reply) override {
        reply(arguments);
    }
};

class Accepting final : public XPCListenerDelegate {
public:
    bool shouldAcceptNewConnection(XPCListener&,
                                   const std::shared_ptr<XPCConnection>& connection) override {
        connection->setExportedInterface(echoInterface());
        connection->setExportedObject(std::make_shared<Echo>());
        std::lock_guard lock(mutex);
        accepted.push_back(connection);
        connection->resume();
        return true;
    }
    std::mutex mutex;
    std::vector<std::shared_ptr<XPCConnection>> accepted;
};

TEST(MainThreadLinkBridge, QtsLoopServesTheLinkAndItsRepliesComeInOrderOnTheMainThread) {
    testing::TemporaryDirectory folder;
    auto listener =
        XPCListener::createForSocketPath(folder / "echo", XPCPeerPolicy({::getuid()}, ::getuid()));
    auto delegate = std::make_shared<Accepting>();
    listener->setDelegate(delegate);
    ASSERT_TRUE(listener->resume());

    MainThreadLinkBridge::install();
    const auto loop = XPCEventLoop::mainThreadLoop();
    ASSERT_NE(loop, nullptr);
    auto connection = XPCConnection::createForSocketPath(folder / "echo");
    connection->setRemoteObjectInterface(echoInterface());
    connection->setDeliveryQueue(DispatchQueue::main());
    connection->setEventLoop(loop);
    connection->resume();

    constexpr int kCalls = 30;
    std::vector<std::string> replies;  // main thread only
    for (int i = 0; i < kCalls; ++i) {
        connection->remoteObjectProxyWithErrorHandler({}).invoke(
            "echo:", {Value(i)}, [&replies](const Value::Array& arguments) {
                replies.push_back((isMainThread() ? "main " : "other ") +
                                  std::to_string(arguments.at(0).asInteger().value_or(-1)));
            });
    }
    EXPECT_TRUE(QTest::qWaitFor([&] { return replies.size() == kCalls; }, 10000));
    std::vector<std::string> expected;
    for (int i = 0; i < kCalls; ++i) {
        expected.push_back("main " + std::to_string(i));
    }
    EXPECT_EQ(replies, expected);
    // The session's end, also served by Qt's loop, lets go of the loop before it is uninstalled;
    // the invalidation handler is told once it has.
    bool ended = false;
    connection->setInvalidationHandler([&ended] { ended = true; });
    connection->invalidate();
    EXPECT_TRUE(QTest::qWaitFor([&] { return ended; }, 10000));
    MainThreadLinkBridge::uninstall();
}

}  // namespace
}  // namespace tarnwick
