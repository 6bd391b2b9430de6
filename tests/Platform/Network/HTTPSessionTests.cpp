#include "Dispatch/DispatchQueue.h"
#include "Dispatch/RunLoop.h"
#include "Foundation/FileDescriptor.h"
#include "Network/HTTPSession.h"
#include "support/LoopbackHttpServer.h"

#include <gtest/gtest.h>
#include <httplib.h>

#include <algorithm>
#include <arpa/inet.h>
#include <cerrno>
#include <chrono>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <netinet/in.h>
#include <optional>
#include <string>
#include <sys/socket.h>
#include <thread>
#include <unistd.h>

using namespace std::chrono_literals;

namespace tarnwick {
namespace {

// A web server on 127.0.0.1 at a port picked by the system. `/hold` answers only when the test
// releases it (or after ten seconds), so time-outs and cancellations need no sleeping.
class LocalServer {
public:
    LocalServer() {
        m_http.routes().Get("/hello", [](const httplib::Request&, httplib::Response& response) {
            response.set_header("X-Greeting", "hi");
            response.set_content("hello world", "text/plain");
        });
        m_http.routes().Get("/missing", [](const httplib::Request&, httplib::Response& response) {
            response.status = 404;
            response.set_content("nothing here", "text/plain");
        });
        m_http.routes().Get("/old", [](const httplib::Request&, httplib::Response& response) {
            response.set_redirect("/hello");
        });
        m_http.routes().Get("/large", [](const httplib::Request&, httplib::Response& response) {
            response.set_content(std::string(10'000, 'x'), "text/plain");
        });
        m_http.routes().Get("/large-chunked",
                            [](const httplib::Request&, httplib::Response& response) {
                                response.set_chunked_content_provider(
                                    "text/plain", [](std::size_t offset, httplib::DataSink& sink) {
                                        if (offset >= 10'000) {
                                            sink.done();
                                            return true;
                                        }
                                        const std::string chunk(1000, 'y');
                                        return sink.write(chunk.data(), chunk.size());
                                    });
                            });
        m_http.routes().Post("/echo", [](const httplib::Request& request,
                                         httplib::Response& response) {
            response.set_content(request.get_header_value("Content-Type") + "|" +
                                     request.get_header_value("X-Token") + "|" +
                                     request.get_header_value("Authorization") + "|" + request.body,
                                 "text/plain");
        });
        m_http.routes().Get("/hold", [this](const httplib::Request&, httplib::Response& response) {
            std::unique_lock lock(m_mutex);
            ++m_holding;
            m_maximumHolding = std::max(m_maximumHolding, m_holding);
            m_released.wait_for(lock, 10s, [this] { return m_isReleased; });
            --m_holding;
            response.set_content("late", "text/plain");
        });
        m_http.start();
    }

    ~LocalServer() { release(); }

    void release() {
        {
            std::lock_guard lock(m_mutex);
            m_isReleased = true;
        }
        m_released.notify_all();
    }

    std::string url(const std::string& path) const {
        return "http://127.0.0.1:" + std::to_string(m_http.port()) + path;
    }

    // The most `/hold` requests that were open at once.
    int maximumHolding() {
        std::lock_guard lock(m_mutex);
        return m_maximumHolding;
    }

private:
    std::mutex m_mutex;
    std::condition_variable m_released;
    bool m_isReleased = false;
    int m_holding = 0;
    int m_maximumHolding = 0;
    // Last, so it stops before the state its routes use goes away.
    testing::LoopbackHttpServer m_http;
};

// Sends one request on a session whose completions run on the main queue and waits for it.
std::optional<HTTPResult> fetch(HTTPSession& session, const HTTPRequest& request) {
    std::optional<HTTPResult> result;
    session.send(request, [&](HTTPResult outcome) { result = std::move(outcome); });
    RunLoop::main().runUntil([&] { return result.has_value(); }, 30s);
    return result;
}

// A port that was free a moment ago: nobody listens there.
int unusedPort() {
    const FileDescriptor fd(socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0));
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    bind(fd.get(), reinterpret_cast<sockaddr*>(&address), sizeof(address));
    socklen_t length = sizeof(address);
    getsockname(fd.get(), reinterpret_cast<sockaddr*>(&address), &length);
    return ntohs(address.sin_port);
}

HTTPRequest get(std::string url) {
    HTTPRequest request;
    request.url = std::move(url);
    return request;
}

TEST(HTTPSession, AnswersOnTheCallbackQueueWithStatusHeadersAndBody) {
    LocalServer server;
    HTTPSession session(DispatchQueue::main());
    bool onMain = false;
    std::optional<HTTPResult> result;
    session.send(get(server.url("/hello")), [&](HTTPResult outcome) {
        onMain = isMainThread();
        result = std::move(outcome);
    });
    ASSERT_TRUE(RunLoop::main().runUntil([&] { return result.has_value(); }, 30s));
    EXPECT_TRUE(onMain);
    ASSERT_TRUE(result->succeeded());
    EXPECT_EQ(result->response()->statusCode, 200);
    EXPECT_EQ(result->response()->body, "hello world");
    EXPECT_EQ(result->response()->headerValue("x-greeting"), "hi");
}

TEST(HTTPSession, ErrorStatusIsAnAnswerAndRedirectsAreFollowed) {
    LocalServer server;
    HTTPSession session(DispatchQueue::main());

    auto missing = fetch(session, get(server.url("/missing")));
    ASSERT_TRUE(missing && missing->succeeded());
    EXPECT_EQ(missing->response()->statusCode, 404);
    EXPECT_EQ(missing->response()->body, "nothing here");

    auto moved = fetch(session, get(server.url("/old")));
    ASSERT_TRUE(moved && moved->succeeded());
    EXPECT_EQ(moved->response()->statusCode, 200);
    EXPECT_EQ(moved->response()->body, "hello world");
    EXPECT_EQ(moved->response()->url, server.url("/hello"));
}

TEST(HTTPSession, PostSendsBodyHeadersAndBasicAuthentication) {
    LocalServer server;
    HTTPSession session(DispatchQueue::main());
    HTTPRequest request;
    request.url = server.url("/echo");
    request.method = HTTPRequest::Method::post;
    request.headers = {{"Content-Type", "application/x-www-form-urlencoded"}, {"X-Token", "t1"}};
    request.body = "entity=macSoftware&bundleId=a,b";
    request.basicAuthentication = HTTPRequest::Credentials{"user@example.com/token", "secret"};

    auto result = fetch(session, request);
    ASSERT_TRUE(result && result->succeeded());
    EXPECT_EQ(result->response()->body,
              "application/x-www-form-urlencoded|t1|"
              "Basic dXNlckBleGFtcGxlLmNvbS90b2tlbjpzZWNyZXQ=|"
              "entity=macSoftware&bundleId=a,b");
}

TEST(HTTPSession, PostBodyIsSentByteForByte) {
    LocalServer server;
    HTTPSession session(DispatchQueue::main());
    HTTPRequest request;
    request.url = server.url("/echo");
    request.method = HTTPRequest::Method::post;
    request.headers = {{"Content-Type", "application/binary"}};
    // Zero bytes, high bytes and a lone carriage return travel unchanged in a raw body.
    request.body = std::string("\x00\xff\r\x01tail", 8);

    auto result = fetch(session, request);
    ASSERT_TRUE(result && result->succeeded());
    EXPECT_EQ(result->response()->body, std::string("application/binary|||") + request.body);
}

TEST(HTTPSession, OnlyAnUnreachableNetworkCountsAsOffline) {
    constexpr int couldNotConnect = 7;  // CURLE_COULDNT_CONNECT
    constexpr int couldNotResolve = 6;  // CURLE_COULDNT_RESOLVE_HOST
    EXPECT_EQ(httpErrorCodeForTransfer(couldNotConnect, ENETUNREACH),
              HTTPError::Code::notConnectedToInternet);
    EXPECT_EQ(httpErrorCodeForTransfer(couldNotConnect, ECONNREFUSED),
              HTTPError::Code::cannotConnect);
    EXPECT_EQ(httpErrorCodeForTransfer(couldNotResolve, 0), HTTPError::Code::cannotResolveHost);
    EXPECT_EQ(httpErrorCodeForTransfer(56, ECONNRESET),  // CURLE_RECV_ERROR
              HTTPError::Code::connectionLost);
}

// Which failures are a lack of network, by the failure and what the connectivity watch says.
TEST(HTTPSession, OnlyARealLackOfNetworkCountsAsOffline) {
    using Code = HTTPError::Code;
    struct Case {
        Code code;
        bool whenPathUp;
        bool whenPathDown;
    };
    const Case cases[] = {
        {Code::timedOut, true, true},           {Code::notConnectedToInternet, true, true},
        {Code::connectionLost, true, true},     {Code::cannotResolveHost, false, true},
        {Code::cannotConnect, false, false},    {Code::transport, false, false},
        {Code::invalidRequest, false, false},   {Code::cancelled, false, false},
        {Code::responseTooLarge, false, false},
    };
    for (const Case& row : cases) {
        SCOPED_TRACE(static_cast<int>(row.code));
        EXPECT_EQ(isLackOfNetwork(row.code, [] { return true; }), row.whenPathUp);
        EXPECT_EQ(isLackOfNetwork(row.code, [] { return false; }), row.whenPathDown);
    }
}

TEST(HTTPSession, FailuresSayWhy) {
    LocalServer server;
    HTTPSession session(DispatchQueue::main());

    struct Case {
        const char* name;
        HTTPRequest request;
        HTTPError::Code expected;
    };
    HTTPRequest slow = get(server.url("/hold"));
    slow.timeout = 200ms;
    HTTPRequest large = get(server.url("/large"));
    large.maximumResponseSize = 1000;
    HTTPRequest largeChunked = get(server.url("/large-chunked"));
    largeChunked.maximumResponseSize = 1000;
    HTTPRequest injected = get(server.url("/hello"));
    injected.headers = {{"X-Evil", "a\r\nHost: elsewhere"}};

    const int closedPort = unusedPort();

    const Case cases[] = {
        {"time-out", slow, HTTPError::Code::timedOut},
        {"too large with a length", large, HTTPError::Code::responseTooLarge},
        {"too large in chunks", largeChunked, HTTPError::Code::responseTooLarge},
        {"line break in a header", injected, HTTPError::Code::invalidRequest},
        {"unsupported scheme", get("ftp://127.0.0.1/file"), HTTPError::Code::invalidRequest},
        {"nobody listens", get("http://127.0.0.1:" + std::to_string(closedPort) + "/"),
         HTTPError::Code::cannotConnect},
    };
    for (const auto& testCase : cases) {
        SCOPED_TRACE(testCase.name);
        auto result = fetch(session, testCase.request);
        ASSERT_TRUE(result.has_value());
        ASSERT_FALSE(result->succeeded());
        EXPECT_EQ(result->error()->code, testCase.expected) << result->error()->message;
    }
}

TEST(HTTPSession, AtMostSixConnectionsToOneHostAndTheRestWait) {
    LocalServer server;  // serves eight requests at a time
    HTTPSession session(DispatchQueue::main());
    int answered = 0;
    for (int i = 0; i < 10; ++i) {
        session.send(get(server.url("/hold")), [&](const HTTPResult& outcome) {
            answered += outcome.succeeded() && outcome.response()->body == "late" ? 1 : 0;
        });
    }
    ASSERT_TRUE(RunLoop::main().runUntil([&] { return server.maximumHolding() == 6; }, 10s));
    // A seventh connection, if one were opened, would reach the server in this time.
    RunLoop::main().runFor(300ms);
    EXPECT_EQ(server.maximumHolding(), 6);
    server.release();
    EXPECT_TRUE(RunLoop::main().runUntil([&] { return answered == 10; }, 20s));
}

TEST(HTTPSession, CancelledTaskCompletesOnceWithACancellation) {
    LocalServer server;
    HTTPSession session(DispatchQueue::main());
    int calls = 0;
    std::optional<HTTPResult> result;
    auto task = session.send(get(server.url("/hold")), [&](HTTPResult outcome) {
        ++calls;
        result = std::move(outcome);
    });
    task->cancel();
    ASSERT_TRUE(RunLoop::main().runUntil([&] { return result.has_value(); }, 5s));
    ASSERT_FALSE(result->succeeded());
    EXPECT_EQ(result->error()->code, HTTPError::Code::cancelled);
    task->cancel();  // too late: changes nothing
    RunLoop::main().runFor(0ms);
    EXPECT_EQ(calls, 1);
}

TEST(HTTPSession, EndingTheSessionCancelsWhatIsRunningAndRefusesMore) {
    LocalServer server;
    std::optional<HTTPResult> running;
    std::optional<HTTPResult> later;
    {
        HTTPSession session(DispatchQueue::main());
        session.send(get(server.url("/hold")), [&](HTTPResult outcome) { running = outcome; });
        session.invalidateAndCancel();
        session.send(get(server.url("/hello")), [&](HTTPResult outcome) { later = outcome; });
    }
    ASSERT_TRUE(RunLoop::main().runUntil([&] { return running && later; }, 5s));
    EXPECT_EQ(running->error()->code, HTTPError::Code::cancelled);
    EXPECT_EQ(later->error()->code, HTTPError::Code::cancelled);
}

TEST(HTTPSession, ManyRequestsAtOnceAllComplete) {
    LocalServer server;
    HTTPSession session(DispatchQueue::global());
    std::atomic<int> succeeded{0};
    std::atomic<int> done{0};
    for (int i = 0; i < 50; ++i) {
        session.send(get(server.url("/hello")), [&](HTTPResult result) {
            if (result.succeeded() && result.response()->body == "hello world") {
                ++succeeded;
            }
            ++done;
        });
    }
    ASSERT_TRUE(RunLoop::main().runUntil([&] { return done == 50; }, 60s));
    EXPECT_EQ(succeeded.load(), 50);
}

}  // namespace
}  // namespace tarnwick
