#include "Dispatch/RunLoop.h"
#include "OSLog/OSLog.h"
#include "XPC/XPCConnection.h"
#include "XPC/XPCEventLoop.h"
#include "XPC/XPCFrameDecoder.h"
#include "XPC/XPCListener.h"
#include "XPC/XPCListenerDelegate.h"
#include "XPC/XPCServiceLock.h"
#include "support/TemporaryDirectory.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <fcntl.h>
#include <filesystem>
#include <functional>
#include <iterator>
#include <mutex>
#include <poll.h>
#include <sys/file.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

using namespace std::chrono_literals;

namespace tarnwick {
namespace {

constexpr auto kWait = 10s;

bool waitFor(const std::function<bool()>& condition) {
    return RunLoop::main().runUntil(condition, kWait);
}

XPCInterface echoInterface(int version = 1) {
    return XPCInterface("Echo", version,
                        {{"echo:", {1, true}}, {"ignore:", {1, true}}, {"note:", {1, false}}});
}

// Answers "echo:" with its argument, drops the reply block of "ignore:", counts "note:".
class Echo final : public XPCExportedObject {
public:
    void invoke(const std::string& selector, const Value::Array& arguments,
                XPCReply reply) override {
        if (selector == "echo:") {
            reply(arguments);
        } else if (selector == "note:") {
            ++notes;
        }
    }
    std::atomic<int> notes{0};
};

class Delegate final : public XPCListenerDelegate {
public:
    bool shouldAcceptNewConnection(XPCListener&,
                                   const std::shared_ptr<XPCConnection>& connection) override {
        connection->setExportedInterface(echoInterface());
        connection->setExportedObject(echo);
        connection->setInvalidationHandler([counter = invalidated] { ++*counter; });
        {
            std::lock_guard lock(mutex);
            accepted.push_back(connection);
        }
        connection->resume();
        return true;
    }
    std::shared_ptr<XPCConnection> last() {
        std::lock_guard lock(mutex);
        return accepted.empty() ? nullptr : accepted.back();
    }
    std::size_t count() {
        std::lock_guard lock(mutex);
        return accepted.size();
    }

    std::shared_ptr<Echo> echo = std::make_shared<Echo>();
    // Shared with the handlers, which may run after a test has let go of the delegate.
    std::shared_ptr<std::atomic<int>> invalidated = std::make_shared<std::atomic<int>>(0);
    std::mutex mutex;
    std::vector<std::shared_ptr<XPCConnection>> accepted;
};

// Counts what one message got back.
struct Outcome {
    std::atomic<int> replies{0};
    std::atomic<int> errors{0};
    Value::Array arguments;
    XPCError error{XPCError::Code::sendFailed, ""};
    std::mutex mutex;

    XPCRemoteObjectProxy::ErrorHandler errorHandler() {
        return [this](const XPCError& received) {
            std::lock_guard lock(mutex);
            error = received;
            ++errors;
        };
    }
    XPCRemoteObjectProxy::ReplyHandler replyHandler() {
        return [this](const Value::Array& received) {
            std::lock_guard lock(mutex);
            arguments = received;
            ++replies;
        };
    }
    int total() const { return replies + errors; }
};

class XPCConnectionTest : public ::testing::Test {
protected:
    void SetUp() override {
        m_listener = XPCListener::createForSocketPath(m_folder / "echo",
                                                      XPCPeerPolicy({::getuid()}, ::getuid()));
        m_listener->setDelegate(m_delegate);
        ASSERT_TRUE(m_listener->resume());
    }

    // A peer speaking raw bytes, blocking, connected to the listener.
    FileDescriptor rawClient() const {
        FileDescriptor fd(::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0));
        sockaddr_un address{};
        address.sun_family = AF_UNIX;
        const auto path = (m_folder / "echo").string();
        std::memcpy(address.sun_path, path.c_str(), path.size() + 1);
        EXPECT_EQ(::connect(fd.get(), reinterpret_cast<sockaddr*>(&address), sizeof(address)), 0);
        return fd;
    }

    std::shared_ptr<XPCConnection> connect(XPCInterface remote = echoInterface()) {
        auto connection = XPCConnection::createForSocketPath(m_folder / "echo");
        connection->setRemoteObjectInterface(std::move(remote));
        connection->setInvalidationHandler([counter = m_clientInvalidated] { ++*counter; });
        connection->setInterruptionHandler([counter = m_clientInterrupted] { ++*counter; });
        connection->resume();
        return connection;
    }

    testing::TemporaryDirectory m_folder;
    std::shared_ptr<Delegate> m_delegate = std::make_shared<Delegate>();
    std::shared_ptr<XPCListener> m_listener;
    std::shared_ptr<std::atomic<int>> m_clientInvalidated = std::make_shared<std::atomic<int>>(0);
    std::shared_ptr<std::atomic<int>> m_clientInterrupted = std::make_shared<std::atomic<int>>(0);
};

TEST_F(XPCConnectionTest, InvocationGetsItsReply) {
    auto connection = connect();
    Outcome outcome;
    connection->remoteObjectProxyWithErrorHandler(outcome.errorHandler())
        .invoke("echo:", {Value("hello")}, outcome.replyHandler());
    ASSERT_TRUE(waitFor([&] { return outcome.total() == 1; }));
    EXPECT_EQ(outcome.replies, 1);
    EXPECT_EQ(outcome.arguments, Value::Array{Value("hello")});
    EXPECT_EQ(m_delegate->last()->effectiveUserIdentifier(), ::getuid());
    EXPECT_EQ(m_delegate->last()->processIdentifier(), ::getpid());
    connection->invalidate();
}

TEST_F(XPCConnectionTest, DeliveryQueueCarriesCallsRepliesAndEndsToTheMainThread) {
    // The peer's calls to this side's exported object, its replies and the interruption all reach
    // application code on the main thread, in the order they came.
    class Recorder final : public XPCExportedObject {
    public:
        void invoke(const std::string& selector, const Value::Array&, XPCReply) override {
            events.push_back(selector + (isMainThread() ? "@main" : "@other"));
        }
        std::vector<std::string> events;  // main thread only
    };
    auto recorder = std::make_shared<Recorder>();
    auto connection = XPCConnection::createForSocketPath(m_folder / "echo");
    connection->setRemoteObjectInterface(echoInterface());
    connection->setExportedInterface(echoInterface());
    connection->setExportedObject(recorder);
    connection->setDeliveryQueue(DispatchQueue::main());
    connection->setInterruptionHandler([recorder] {
        recorder->events.push_back(std::string("interrupted") +
                                   (isMainThread() ? "@main" : "@other"));
    });
    connection->resume();

    connection->remoteObjectProxyWithErrorHandler({}).invoke(
        "echo:", {Value("x")}, [recorder](const Value::Array&) {
            recorder->events.push_back(std::string("reply") +
                                       (isMainThread() ? "@main" : "@other"));
        });
    ASSERT_TRUE(waitFor([&] { return recorder->events.size() == 1; }));
    m_delegate->last()->setRemoteObjectInterface(echoInterface());
    m_delegate->last()->remoteObjectProxyWithErrorHandler({}).invoke("note:", {Value(1)});
    ASSERT_TRUE(waitFor([&] { return recorder->events.size() == 2; }));
    m_delegate->last()->invalidate();
    ASSERT_TRUE(waitFor([&] { return recorder->events.size() == 3; }));
    EXPECT_EQ(recorder->events,
              (std::vector<std::string>{"reply@main", "note:@main", "interrupted@main"}));
    connection->invalidate();
}

TEST_F(XPCConnectionTest, ClientOnADrivenLoopIsServedByTheThreadThatDrivesItInOrder) {
    // The application's link: no I/O thread, the peer's calls handled inside dispatch() on the
    // driving (main) thread, with no hop through the main queue, and answered in order.
    const auto loop = XPCEventLoop::createDriven("test");
    ASSERT_NE(loop, nullptr);
    bool dispatching = false;
    class Recorder final : public XPCExportedObject {
    public:
        explicit Recorder(const bool& dispatching) : m_dispatching(dispatching) {}
        void invoke(const std::string& selector, const Value::Array& arguments,
                    XPCReply reply) override {
            inline_ = inline_ && m_dispatching && isMainThread();
            calls.push_back(selector + std::to_string(arguments.at(0).asInteger().value_or(-1)));
            if (selector == "echo:") {
                reply(arguments);
            }
        }
        std::vector<std::string> calls;  // main thread only
        bool inline_ = true;

    private:
        const bool& m_dispatching;
    };
    auto recorder = std::make_shared<Recorder>(dispatching);
    auto connection = XPCConnection::createForSocketPath(m_folder / "echo");
    connection->setRemoteObjectInterface(echoInterface());
    connection->setExportedInterface(echoInterface());
    connection->setExportedObject(recorder);
    connection->setDeliveryQueue(DispatchQueue::main());
    connection->setEventLoop(loop);
    connection->resume();
    const auto serveUntil = [&](const std::function<bool()>& condition) {
        const auto deadline = std::chrono::steady_clock::now() + kWait;
        while (!condition() && std::chrono::steady_clock::now() < deadline) {
            DispatchQueue::main()->drainMain();
            pollfd ready{loop->descriptor(), POLLIN, 0};
            (void)::poll(&ready, 1, 10);
            dispatching = true;
            (void)loop->dispatch();
            dispatching = false;
        }
        return condition();
    };

    std::vector<std::string> replies;  // main thread only
    connection->remoteObjectProxyWithErrorHandler({}).invoke(
        "echo:", {Value(0)}, [&replies](const Value::Array& arguments) {
            replies.push_back((isMainThread() ? "main " : "other ") +
                              std::to_string(arguments.at(0).asInteger().value_or(-1)));
        });
    ASSERT_TRUE(serveUntil([&] { return replies.size() == 1 && m_delegate->last(); }));
    EXPECT_EQ(replies, std::vector<std::string>{"main 0"});

    constexpr int kCalls = 40;
    auto server = m_delegate->last();
    server->setRemoteObjectInterface(echoInterface());
    std::mutex mutex;
    std::vector<std::int64_t> answers;
    for (int i = 1; i <= kCalls; ++i) {
        auto proxy = server->remoteObjectProxyWithErrorHandler({});
        if (i % 2 == 0) {
            proxy.invoke("note:", {Value(i)});
            continue;
        }
        proxy.invoke("echo:", {Value(i)}, [&](const Value::Array& arguments) {
            std::lock_guard lock(mutex);
            answers.push_back(arguments.at(0).asInteger().value_or(-1));
        });
    }
    ASSERT_TRUE(serveUntil([&] {
        std::lock_guard lock(mutex);
        return answers.size() == kCalls / 2;
    }));
    std::vector<std::string> expectedCalls;
    std::vector<std::int64_t> expectedAnswers;
    for (int i = 1; i <= kCalls; ++i) {
        expectedCalls.push_back((i % 2 ? "echo:" : "note:") + std::to_string(i));
        if (i % 2) {
            expectedAnswers.push_back(i);
        }
    }
    EXPECT_EQ(recorder->calls, expectedCalls);
    EXPECT_TRUE(recorder->inline_);
    {
        std::lock_guard lock(mutex);
        EXPECT_EQ(answers, expectedAnswers);
    }
    connection->invalidate();
    // The session ends on the loop too, which lets go of it.
    EXPECT_TRUE(serveUntil([&] { return m_delegate->invalidated->load() == 1; }));
}

TEST_F(XPCConnectionTest, MessagesThatDoNotFitTheExportedInterfaceAreAnsweredWithAnError) {
    struct Row {
        const char* name;
        XPCInterface remote;
        std::string selector;
        Value::Array arguments;
    };
    const Row rows[] = {
        {"unknown selector",
         XPCInterface("Echo", 1, {{"shout:", {1, true}}}),
         "shout:",
         {Value(1)}},
        {"other protocol version", echoInterface(2), "echo:", {Value(1)}},
        {"wrong argument count",
         XPCInterface("Echo", 1, {{"echo:", {2, true}}}),
         "echo:",
         {Value(1), Value(2)}},
        {"reply block dropped unanswered", echoInterface(), "ignore:", {Value(1)}},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        auto connection = connect(row.remote);
        Outcome outcome;
        connection->remoteObjectProxyWithErrorHandler(outcome.errorHandler())
            .invoke(row.selector, row.arguments, outcome.replyHandler());
        ASSERT_TRUE(waitFor([&] { return outcome.total() == 1; }));
        EXPECT_EQ(outcome.errors, 1);
        EXPECT_EQ(outcome.error.code, XPCError::Code::peerError);
        connection->invalidate();
    }
}

TEST_F(XPCConnectionTest, ClientIsInterruptedWhenThePeerLeavesAndReconnectsWithItsNextMessage) {
    auto connection = connect();
    Outcome first;
    auto proxy = connection->remoteObjectProxyWithErrorHandler(first.errorHandler());
    proxy.invoke("note:", {Value(1)});
    ASSERT_TRUE(waitFor([&] { return m_delegate->echo->notes == 1; }));
    // A message whose reply never comes, then the peer leaves.
    proxy.invoke("ignore:", {Value(1)}, first.replyHandler());
    m_delegate->last()->invalidate();
    ASSERT_TRUE(waitFor([&] { return first.total() >= 1 && *m_clientInterrupted == 1; }));
    RunLoop::main().runFor(50ms);
    EXPECT_EQ(first.total(), 1) << "exactly one of reply and error";
    EXPECT_EQ(*m_clientInvalidated, 0);

    Outcome second;
    connection->remoteObjectProxyWithErrorHandler(second.errorHandler())
        .invoke("echo:", {Value("again")}, second.replyHandler());
    ASSERT_TRUE(waitFor([&] { return second.total() == 1; }));
    EXPECT_EQ(second.replies, 1);
    EXPECT_EQ(m_delegate->count(), 2u);
    connection->invalidate();
}

TEST_F(XPCConnectionTest, InvalidationIsReportedOnceAndLaterMessagesFail) {
    auto connection = connect();
    Outcome pending;
    connection->remoteObjectProxyWithErrorHandler(pending.errorHandler())
        .invoke("ignore:", {Value(1)}, pending.replyHandler());
    ASSERT_TRUE(waitFor([&] { return m_delegate->count() == 1; }));
    connection->invalidate();
    connection->invalidate();
    ASSERT_TRUE(waitFor([&] { return *m_clientInvalidated == 1 && pending.total() == 1; }));
    EXPECT_EQ(pending.errors, 1);

    Outcome later;
    connection->remoteObjectProxyWithErrorHandler(later.errorHandler())
        .invoke("echo:", {Value(1)}, later.replyHandler());
    ASSERT_TRUE(waitFor([&] { return later.total() == 1; }));
    EXPECT_EQ(later.errors, 1);
    EXPECT_EQ(later.error.code, XPCError::Code::connectionInvalid);
    EXPECT_TRUE(waitFor([&] { return *m_delegate->invalidated == 1; }))
        << "the server side learns that the client left";
    EXPECT_EQ(*m_clientInvalidated, 1);
}

TEST_F(XPCConnectionTest, ServiceThatIsNotThereInvalidatesTheConnection) {
    auto connection = XPCConnection::createForSocketPath(m_folder / "nobody");
    std::atomic<int> invalidated{0};
    connection->setInvalidationHandler([&] { ++invalidated; });
    connection->resume();
    Outcome outcome;
    connection->remoteObjectProxyWithErrorHandler(outcome.errorHandler())
        .invoke("echo:", {Value(1)}, outcome.replyHandler());
    ASSERT_TRUE(waitFor([&] { return invalidated == 1 && outcome.total() == 1; }));
    EXPECT_EQ(outcome.errors, 1);
}

TEST_F(XPCConnectionTest, PeerOfAUserThePolicyDoesNotAllowIsRefusedAndLogged) {
    std::mutex mutex;
    std::vector<std::string> lines;
    OSLog::setObserverForTesting([&](const OSLog&, OSLogType, std::string_view line) {
        std::lock_guard lock(mutex);
        lines.emplace_back(line);
    });
    auto guarded = XPCListener::createForSocketPath(m_folder / "guarded",
                                                    XPCPeerPolicy({::getuid() + 1}, ::getuid()));
    guarded->setDelegate(m_delegate);
    ASSERT_TRUE(guarded->resume());

    auto connection = XPCConnection::createForSocketPath(m_folder / "guarded");
    connection->resume();
    Outcome outcome;
    connection->remoteObjectProxyWithErrorHandler(outcome.errorHandler())
        .invoke("echo:", {Value(1)}, outcome.replyHandler());
    ASSERT_TRUE(waitFor([&] { return outcome.total() == 1; }));
    EXPECT_EQ(outcome.errors, 1);
    EXPECT_EQ(m_delegate->count(), 0u);
    OSLog::setObserverForTesting({});
    const std::string expected = "Refused a connection to guarded from uid " +
                                 std::to_string(::getuid()) + " (pid " +
                                 std::to_string(::getpid()) + ")";
    EXPECT_NE(std::find(lines.begin(), lines.end(), expected), lines.end());
    connection->invalidate();
}

// A peer's own text could forge lines of the journal, write escape codes to whoever reads it,
// or fill it: it is written escaped, cut short, and at most once a second per peer user.
TEST_F(XPCConnectionTest, APeersTextIsLoggedEscapedCutShortAndAtMostOnceASecond) {
    std::mutex mutex;
    std::vector<std::string> lines;
    OSLog::setObserverForTesting([&](const OSLog&, OSLogType, std::string_view line) {
        std::lock_guard lock(mutex);
        if (line.find("Nothing here answers") != std::string_view::npos) {
            lines.emplace_back(line);
        }
    });
    const std::string hostile = "x:\n\x1b[2J<13>forged entry\r\t\\" + std::string(20000, 'A');
    const FileDescriptor fd = rawClient();
    const auto started = std::chrono::steady_clock::now();
    const auto send = [&](std::uint64_t id, const std::string& selector) {
        XPCMessage call;
        call.version = 1;
        call.id = id;
        call.selector = selector;
        call.arguments = {Value(1)};
        const std::string frame = call.encodeFrame().value();
        ASSERT_EQ(::send(fd.get(), frame.data(), frame.size(), MSG_NOSIGNAL),
                  static_cast<ssize_t>(frame.size()));
    };
    for (std::uint64_t id = 1; id <= 300; ++id) {
        send(id, hostile);
    }
    // Answered in order: once this one is, every message before it was handled.
    send(301, "note:");
    ASSERT_TRUE(waitFor([&] { return m_delegate->echo->notes == 1; }));
    const auto elapsed = std::chrono::steady_clock::now() - started;
    OSLog::setObserverForTesting({});

    ASSERT_FALSE(lines.empty());
    EXPECT_LE(lines.size(), 1 + static_cast<std::size_t>(elapsed / 1s));
    for (const auto& line : lines) {
        EXPECT_EQ(line.find_first_of("\n\r\t\x1b"), std::string::npos) << line;
        EXPECT_NE(line.find("x:\\n\\x1b[2J<13>forged entry\\r\\t\\\\AAA"), std::string::npos)
            << line;
        EXPECT_LT(line.size(), 400u);
    }
}

TEST_F(XPCConnectionTest, MalformedFrameEndsTheConnection) {
    const FileDescriptor fd = rawClient();
    ASSERT_TRUE(waitFor([&] { return m_delegate->count() == 1; }));
    const char garbage[] = "\x00\x00\x00\x05hello";
    ASSERT_EQ(::send(fd.get(), garbage, 9, MSG_NOSIGNAL), 9);
    EXPECT_TRUE(waitFor([&] { return *m_delegate->invalidated == 1; }));
    char byte = 0;
    EXPECT_EQ(::recv(fd.get(), &byte, 1, 0), 0) << "the server closed the socket";
}

TEST_F(XPCConnectionTest, IdleSessionsShareTheListenersThread) {
    const auto threads = [] {
        return std::distance(std::filesystem::directory_iterator("/proc/self/task"),
                             std::filesystem::directory_iterator());
    };
    const auto before = threads();
    constexpr std::size_t kIdle = 64;
    std::vector<FileDescriptor> idle;
    for (std::size_t i = 0; i < kIdle; ++i) {
        idle.push_back(rawClient());
    }
    ASSERT_TRUE(waitFor([&] { return m_delegate->count() == kIdle; }));
    // The worker pool behind the queues may grow a little while the delegate runs.
    EXPECT_LT(threads(), before + 8) << "a thread per idle session";

    auto connection = connect();
    Outcome outcome;
    connection->remoteObjectProxyWithErrorHandler(outcome.errorHandler())
        .invoke("echo:", {Value("busy")}, outcome.replyHandler());
    ASSERT_TRUE(waitFor([&] { return outcome.total() == 1; }));
    EXPECT_EQ(outcome.replies, 1);
    idle.clear();
    EXPECT_TRUE(waitFor([&] { return *m_delegate->invalidated == static_cast<int>(kIdle); }))
        << "each idle session ends when its peer leaves";
    connection->invalidate();
}

TEST_F(XPCConnectionTest, FrameLeftUnfinishedEndsItsSessionAfterTheLimitWhileOthersGoOn) {
    constexpr auto kLimit = 300ms;
    m_listener->setFrameTimeLimit(kLimit);
    std::mutex mutex;
    std::vector<std::string> lines;
    OSLog::setObserverForTesting([&](const OSLog&, OSLogType, std::string_view line) {
        std::lock_guard lock(mutex);
        lines.emplace_back(line);
    });
    auto healthy = connect();

    // Half a frame and then silence; a frame of 1 MiB that comes a byte at a time. The limit
    // counts from a frame's first byte, so trickling does not keep a session.
    const FileDescriptor stalled = rawClient();
    const FileDescriptor trickling = rawClient();
    const std::string half = std::string("\x00\x00\x00\x64", 4) + "{\"version\"";
    const std::string large = std::string("\x00\x10\x00\x00", 4) + "[";
    const auto started = std::chrono::steady_clock::now();
    ASSERT_EQ(::send(stalled.get(), half.data(), half.size(), MSG_NOSIGNAL),
              static_cast<ssize_t>(half.size()));
    ASSERT_EQ(::send(trickling.get(), large.data(), large.size(), MSG_NOSIGNAL),
              static_cast<ssize_t>(large.size()));
    const auto isClosed = [](const FileDescriptor& fd) {
        pollfd readable{fd.get(), POLLIN, 0};
        return ::poll(&readable, 1, 0) == 1;
    };

    // The healthy client keeps being answered while the others wait out their limit.
    // One record for all calls: a handler may still hold its lock when the count is seen.
    Outcome meanwhile;
    int answered = 0;
    while (!(isClosed(stalled) && isClosed(trickling)) &&
           std::chrono::steady_clock::now() - started < kWait) {
        if (!isClosed(trickling)) {
            (void)!::send(trickling.get(), "1", 1, MSG_NOSIGNAL | MSG_DONTWAIT);
        }
        healthy->remoteObjectProxyWithErrorHandler(meanwhile.errorHandler())
            .invoke("echo:", {Value(answered)}, meanwhile.replyHandler());
        ASSERT_TRUE(waitFor([&] { return meanwhile.total() == answered + 1; }));
        ASSERT_EQ(meanwhile.replies, answered + 1);
        ++answered;
    }
    // A socket closed with bytes it never read resets its peer rather than ending the stream.
    const auto hungUp = [](const FileDescriptor& fd) {
        char byte = 0;
        const ssize_t received = ::recv(fd.get(), &byte, 1, MSG_DONTWAIT);
        return received == 0 || (received < 0 && errno == ECONNRESET);
    };
    EXPECT_TRUE(hungUp(stalled)) << "the stalled session closed";
    EXPECT_TRUE(hungUp(trickling)) << "the trickling one closed";
    EXPECT_GE(std::chrono::steady_clock::now() - started, kLimit);
    EXPECT_GT(answered, 0);
    EXPECT_TRUE(waitFor([&] { return *m_delegate->invalidated == 2; }));

    Outcome after;
    healthy->remoteObjectProxyWithErrorHandler(after.errorHandler())
        .invoke("echo:", {Value("after")}, after.replyHandler());
    ASSERT_TRUE(waitFor([&] { return after.total() == 1; }));
    EXPECT_EQ(after.replies, 1);
    EXPECT_EQ(*m_clientInterrupted, 0);
    OSLog::setObserverForTesting({});
    const std::string expected =
        "Closing echo: the peer left a frame unfinished for more than 300 "
        "ms (14 bytes of it arrived)";
    EXPECT_NE(std::find(lines.begin(), lines.end(), expected), lines.end());
    EXPECT_EQ(std::count_if(lines.begin(), lines.end(),
                            [](const std::string& line) {
                                return line.rfind(
                                           "Closing echo: the peer left a frame unfinished "
                                           "for more than 300 ms (",
                                           0) == 0;
                            }),
              2);
    healthy->invalidate();
}

TEST_F(XPCConnectionTest, PeerThatDoesNotReadItsAnswersHoldsUpNoOtherSession) {
    // Answers far larger than the socket takes pile up for a peer that sends and never reads.
    constexpr int kCalls = 16;
    const std::string payload(256 * 1024, 'x');
    const FileDescriptor slow = rawClient();
    for (int id = 1; id <= kCalls; ++id) {
        XPCMessage call;
        call.version = 1;
        call.id = static_cast<std::uint64_t>(id);
        call.selector = "echo:";
        call.arguments = {Value(payload)};
        call.expectsReply = true;
        const std::string frame = call.encodeFrame().value();
        ASSERT_EQ(::send(slow.get(), frame.data(), frame.size(), MSG_NOSIGNAL),
                  static_cast<ssize_t>(frame.size()));
    }

    auto connection = connect();
    Outcome outcome;
    connection->remoteObjectProxyWithErrorHandler(outcome.errorHandler())
        .invoke("echo:", {Value("prompt")}, outcome.replyHandler());
    ASSERT_TRUE(waitFor([&] { return outcome.total() == 1; }));
    EXPECT_EQ(outcome.replies, 1);

    // Once read, every answer arrives whole and in order, however the writes were cut.
    XPCFrameDecoder decoder;
    std::vector<XPCMessage> answers;
    std::vector<char> buffer(64 * 1024);
    while (answers.size() < kCalls) {
        pollfd readable{slow.get(), POLLIN, 0};
        ASSERT_EQ(::poll(&readable, 1, static_cast<int>(kWait / 1ms)), 1);
        const ssize_t received = ::recv(slow.get(), buffer.data(), buffer.size(), 0);
        ASSERT_GT(received, 0);
        ASSERT_TRUE(decoder.feed(
            std::string_view(buffer.data(), static_cast<std::size_t>(received)), answers));
    }
    for (int index = 0; index < kCalls; ++index) {
        EXPECT_EQ(answers[index].id, static_cast<std::uint64_t>(index + 1));
        EXPECT_EQ(answers[index].arguments, Value::Array{Value(payload)});
    }
    connection->invalidate();
}

TEST_F(XPCConnectionTest, ListenerSocketIsPrivateToItsOwnerAndGoesAwayWithIt) {
    struct stat status {};
    ASSERT_EQ(::stat((m_folder / "echo").c_str(), &status), 0);
    EXPECT_TRUE(S_ISSOCK(status.st_mode));
    EXPECT_EQ(status.st_mode & 0777, 0600u);
    m_listener->invalidate();
    EXPECT_FALSE(std::filesystem::exists(m_folder / "echo"));
}

TEST_F(XPCConnectionTest, OnlyAPeerTheServiceMarkedIsARegisteredPeerAndOnlyWhileConnected) {
    auto connection = connect();
    ASSERT_TRUE(waitFor([&] { return m_delegate->last() != nullptr; }));
    const auto accepted = m_delegate->last();
    EXPECT_FALSE(accepted->lastCallTime()) << "no call yet";
    EXPECT_FALSE(XPCConnection::isRegisteredPeerProcess(::getpid(), "echo"))
        << "connecting is not registering";

    Outcome outcome;
    connection->remoteObjectProxyWithErrorHandler(outcome.errorHandler())
        .invoke("echo:", {Value("hello")}, outcome.replyHandler());
    ASSERT_TRUE(waitFor([&] { return outcome.total() == 1; }));
    EXPECT_TRUE(accepted->lastCallTime());
    accepted->markPeerRegistered();
    EXPECT_TRUE(XPCConnection::isRegisteredPeerProcess(::getpid(), "echo"));
    EXPECT_FALSE(XPCConnection::isRegisteredPeerProcess(::getpid(), "other"));

    connection->invalidate();
    EXPECT_TRUE(
        waitFor([&] { return !XPCConnection::isRegisteredPeerProcess(::getpid(), "echo"); }));
}

TEST_F(XPCConnectionTest, AListenerNeverRemovesASocketItDidNotMakeOrThatServes) {
    struct stat before {};
    ASSERT_EQ(::stat((m_folder / "echo").c_str(), &before), 0);
    auto second = XPCListener::createForSocketPath(m_folder / "echo",
                                                   XPCPeerPolicy({::getuid()}, ::getuid()));
    EXPECT_FALSE(second->resume()) << "the socket serves";
    second->invalidate();
    struct stat after {};
    ASSERT_EQ(::stat((m_folder / "echo").c_str(), &after), 0);
    EXPECT_EQ(after.st_ino, before.st_ino);
    rawClient();

    // A socket of another server put in its place after it started stays when it stops.
    const FileDescriptor other(::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0));
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    const auto otherPath = (m_folder / "other").string();
    std::memcpy(address.sun_path, otherPath.c_str(), otherPath.size() + 1);
    ASSERT_EQ(::bind(other.get(), reinterpret_cast<sockaddr*>(&address), sizeof(address)), 0);
    ASSERT_EQ(::rename(otherPath.c_str(), (m_folder / "echo").c_str()), 0);
    m_listener->invalidate();
    EXPECT_TRUE(std::filesystem::exists(m_folder / "echo"));

    // That one accepts nothing: left behind, it is replaced by the next listener.
    auto next = XPCListener::createForSocketPath(m_folder / "echo",
                                                 XPCPeerPolicy({::getuid()}, ::getuid()));
    EXPECT_TRUE(next->resume());
    next->invalidate();
}

TEST(XPCServiceLock, OneHolderAtATimeAndTheSecondLearnsWho) {
    testing::TemporaryDirectory folder;
    const auto path = XPCServiceLock::pathIn(folder.path());
    EXPECT_FALSE(XPCServiceLock::isHeld(path));
    {
        auto first = XPCServiceLock::acquire(path);
        ASSERT_TRUE(first) << first.error();
        EXPECT_TRUE(XPCServiceLock::isHeld(path));
        const auto second = XPCServiceLock::acquire(path);
        ASSERT_FALSE(second);
        EXPECT_NE(second.error().find("process " + std::to_string(::getpid())), std::string::npos)
            << second.error();
    }
    EXPECT_FALSE(XPCServiceLock::isHeld(path)) << "let go with its holder";
    EXPECT_TRUE(XPCServiceLock::acquire(path));

    EXPECT_EQ(std::filesystem::status(path).permissions(),
              std::filesystem::perms::owner_read | std::filesystem::perms::owner_write);
}

// Locking needs only reading: whoever could open a lock file readable by others, or one put in
// its place, could hold the lock on it. Such a file is replaced, and a lock held on it counts for
// nothing.
TEST(XPCServiceLock, AFileAnyoneElseCouldHaveOpenedIsReplacedNotUsed) {
    testing::TemporaryDirectory folder;
    const auto path = XPCServiceLock::pathIn(folder.path());
    const auto elsewhere = folder.path() / "elsewhere";
    struct Row {
        const char* name;
        std::function<void()> plant;
    };
    const Row rows[] = {
        {"readable by all",
         [&] {
             testing::writeFile(path, "1\n");
             ::chmod(path.c_str(), 0644);
         }},
        {"a second name of another file",
         [&] { std::filesystem::create_hard_link(elsewhere, path); }},
        {"a link", [&] { std::filesystem::create_symlink(elsewhere, path); }},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        std::filesystem::remove(path);
        testing::writeFile(elsewhere, "1\n");
        ::chmod(elsewhere.c_str(), 0600);
        row.plant();
        // The other process opened it and holds the lock on it.
        const FileDescriptor planted(::open(path.c_str(), O_RDONLY | O_CLOEXEC));
        ASSERT_EQ(::flock(planted.get(), LOCK_EX | LOCK_NB), 0) << std::strerror(errno);

        const auto lock = XPCServiceLock::acquire(path);
        ASSERT_TRUE(lock) << lock.error();
        struct stat status {};
        ASSERT_EQ(::lstat(path.c_str(), &status), 0);
        EXPECT_TRUE(S_ISREG(status.st_mode));
        EXPECT_EQ(status.st_mode & 07777, 0600u);
        EXPECT_EQ(status.st_nlink, 1u);
        EXPECT_TRUE(XPCServiceLock::isHeld(path));
        EXPECT_EQ(testing::readFile(elsewhere), "1\n") << "another file is never written";
    }
}

}  // namespace
}  // namespace tarnwick
