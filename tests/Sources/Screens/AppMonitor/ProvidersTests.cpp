#include "AppMonitorTestSupport.h"
#include "Screens/AppMonitor/AppStoreInfoProvider.h"
#include "Tools/DenyListProvider.h"
#include "support/LoopbackHttpServer.h"

#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <atomic>
#include <future>
#include <netinet/in.h>
#include <optional>
#include <sys/socket.h>
#include <thread>
#include <unistd.h>

namespace tarnwick {
namespace {

using namespace tarnwick::testing;
using StoreResult =
    Result<std::vector<AppStoreLookupResult::StoreApplication>, AppStoreInfoProvider::LookupError>;

const char* const fullRecord = R"({"trackName": "Tool", "artworkUrl512": "https://a/512.png",
    "primaryGenreName": "Utilities", "screenshotUrls": ["https://a/1.png"],
    "trackViewUrl": "https://store/tool", "bundleId": "com.example.tool",
    "languageCodesISO2A": ["EN", "RU"], "sellerUrl": "https://seller.example.ru",
    "sellerName": "Seller", "artistName": null, "unknownKey": 1})";

class StoreLookupTest : public ::testing::Test {
protected:
    StoreLookupTest() {
        m_server.routes().Post(
            "/lookup", [this](const httplib::Request& request, httplib::Response& response) {
                m_body = request.body;
                m_contentType = request.get_header_value("Content-Type");
                response.status = m_status;
                response.set_content(m_answer, "application/json");
            });
        m_server.start();
        m_observer = m_center.addObserver(std::string(AppStoreInfoProvider::noNetworkNotification),
                                          nullptr, [this](const Notification&) { ++m_notices; });
    }

    StoreResult lookup(const std::vector<std::string>& ids,
                       std::optional<std::string> service = std::nullopt, bool pathUp = true) {
        AppStoreInfoProvider provider(std::make_shared<HTTPSession>(), m_center,
                                      service ? *service : m_server.baseURL(),
                                      [pathUp] { return pathUp; });
        std::promise<StoreResult> promise;
        provider.fetchApplications(ids, [&](StoreResult result) { promise.set_value(result); });
        return promise.get_future().get();
    }

    LoopbackHttpServer m_server;
    NotificationCenter m_center;
    NotificationCenter::ObserverToken m_observer;
    std::atomic<int> m_notices{0};
    std::string m_body;
    std::string m_contentType;
    std::string m_answer = R"({"resultCount": 0, "results": []})";
    int m_status = 200;
};

TEST_F(StoreLookupTest, SendsOneFormWithAllIdentifiers) {
    m_answer = std::string(R"({"resultCount": 1, "results": [)") + fullRecord + "]}";
    auto result = lookup({"com.example.tool", "org.other&x=1"});
    ASSERT_TRUE(result);
    const std::string ids = "bundleId=com.example.tool%2Corg.other%26x%3D1";
    const std::string entity = "entity=macSoftware";
    EXPECT_TRUE(m_body == ids + "&" + entity || m_body == entity + "&" + ids) << m_body;
    ASSERT_EQ(result->size(), 1u);
    const auto& record = (*result)[0];
    EXPECT_EQ(record.title, "Tool");
    EXPECT_EQ(record.shortDescription(), "Tool (com.example.tool)");
    EXPECT_EQ(record.languageCodesISO2A, (std::vector<std::string>{"EN", "RU"}));
    EXPECT_EQ(record.ipadScreenshotUrls, std::nullopt);
    EXPECT_EQ(record.artistName, std::nullopt);
    EXPECT_EQ(record.sellerUrl, "https://seller.example.ru");
    EXPECT_EQ(m_notices, 0);
}

TEST_F(StoreLookupTest, DecodesStrictly) {
    struct Case {
        const char* name;
        std::string answer;
        int status;
        bool ok;
    };
    std::string withoutArtwork = fullRecord;
    withoutArtwork.replace(withoutArtwork.find("\"artworkUrl512\""), 37, "");
    const Case cases[] = {
        {"empty answer", R"({"resultCount": 0, "results": []})", 200, true},
        {"record without a required key",
         std::string(R"({"resultCount": 1, "results": [)") + withoutArtwork + "]}", 200, false},
        {"count of the wrong type", R"({"resultCount": "1", "results": []})", 200, false},
        {"error status without results", R"({"errorMessage": "oops"})", 500, false},
        {"not JSON", "<html>busy</html>", 503, false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        m_answer = c.answer;
        m_status = c.status;
        auto result = lookup({"a"});
        EXPECT_EQ(result.ok(), c.ok);
        if (!c.ok) {
            EXPECT_EQ(result.error().code, AppStoreInfoProvider::LookupError::Code::decoding);
        }
    }
    EXPECT_EQ(m_notices, 0);
}

// A port that accepts one connection and closes it before any answer.
class DroppingListener {
public:
    DroppingListener() {
        m_socket = ::socket(AF_INET, SOCK_STREAM, 0);
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        socklen_t length = sizeof(address);
        ::bind(m_socket, reinterpret_cast<sockaddr*>(&address), length);
        ::listen(m_socket, 4);
        ::getsockname(m_socket, reinterpret_cast<sockaddr*>(&address), &length);
        m_port = ntohs(address.sin_port);
        m_thread = std::thread([this] {
            const int client = ::accept(m_socket, nullptr, nullptr);
            if (client >= 0) {
                char buffer[4096];
                (void)::recv(client, buffer, sizeof(buffer), 0);
                ::close(client);
            }
        });
    }
    ~DroppingListener() {
        ::shutdown(m_socket, SHUT_RDWR);
        m_thread.join();
        ::close(m_socket);
    }
    std::string baseURL() const { return "http://127.0.0.1:" + std::to_string(m_port) + "/"; }

private:
    int m_socket = -1;
    int m_port = 0;
    std::thread m_thread;
};

// The notice tells a real lack of network only, by the failure and the connectivity watch.
TEST_F(StoreLookupTest, TheNoticeComesOnlyForARealLackOfNetwork) {
    std::string refusing;
    {
        LoopbackHttpServer gone;
        gone.start();
        refusing = gone.baseURL();
    }
    using Code = AppStoreInfoProvider::LookupError::Code;
    const std::string unknown = "http://store.invalid/";
    const std::string dropping = "dropping";  // stands for a DroppingListener's address
    struct Case {
        const char* name;
        std::string service;
        bool pathUp;
        Code code;
        int notices;
    };
    const Case cases[] = {
        {"refused while up", refusing, true, Code::transport, 0},
        {"refused while down", refusing, false, Code::transport, 0},
        {"unknown host while up", unknown, true, Code::transport, 0},
        {"unresolved while down", unknown, false, Code::noNetwork, 1},
        {"dropped connection", dropping, true, Code::noNetwork, 1},
        {"no service configured", "", false, Code::notConfigured, 0},
    };
    for (const Case& row : cases) {
        SCOPED_TRACE(row.name);
        m_notices = 0;
        std::optional<DroppingListener> listener;
        std::string service = row.service;
        if (service == dropping) {
            listener.emplace();
            service = listener->baseURL();
        }
        auto result = lookup({"a"}, service, row.pathUp);
        ASSERT_FALSE(result);
        EXPECT_EQ(result.error().code, row.code) << result.error().message;
        EXPECT_EQ(m_notices, row.notices);
    }
    EXPECT_TRUE(m_body.empty());  // the configured server was never asked
}

TEST(FormEncodingTests, OnlyUnreservedCharactersStay) {
    EXPECT_EQ(AppStoreInfoProvider::percentEncodedQueryValue("aZ09-._~/?"), "aZ09-._~/?");
    EXPECT_EQ(AppStoreInfoProvider::percentEncodedQueryValue(":#[]@!$&'()*+,;= "),
              "%3A%23%5B%5D%40%21%24%26%27%28%29%2A%2B%2C%3B%3D%20");
    EXPECT_EQ(AppStoreInfoProvider::percentEncodedQueryValue("é"), "%C3%A9");
}

class DenyListTest : public ::testing::Test {
protected:
    DenyListTest() {
        m_server.routes().Get("/application/macos-deny.json",
                              [this](const httplib::Request&, httplib::Response& response) {
                                  ++m_requests;
                                  response.status = m_status;
                                  response.set_content(m_answer, "application/json");
                              });
        m_server.start();
        LogHub::addDestination(m_log);
    }
    ~DenyListTest() override { LogHub::removeDestination(m_log); }

    std::vector<DenyListProvider::Entry> fetch(std::vector<std::string> targets) {
        FixedCountries countries(std::move(targets));
        DenyListProvider provider(std::make_shared<HTTPSession>(), countries, m_server.baseURL());
        std::promise<std::vector<DenyListProvider::Entry>> promise;
        provider.fetchEntries([&](auto result) {
            EXPECT_TRUE(result);
            promise.set_value(result ? result->entries : std::vector<DenyListProvider::Entry>{});
        });
        return promise.get_future().get();
    }

    std::size_t failureLines() const {
        std::size_t count = 0;
        for (const auto& line : m_log->messages()) {
            count += line.rfind("Failed to fetch deny list with error: ", 0) == 0;
        }
        return count;
    }

    LoopbackHttpServer m_server;
    std::shared_ptr<RecordingDestination> m_log = std::make_shared<RecordingDestination>();
    std::atomic<int> m_requests{0};
    std::string m_answer = "[]";
    int m_status = 200;
};

TEST_F(DenyListTest, FetchedOnlyForRussiaAndKeptInOrder) {
    m_answer = R"([{"bundleIdSubstring": "b", "reason": "second", "webLink": null},
                   {"bundleIdSubstring": "a", "reason": "first", "humanReadableDescription": "d",
                    "webLink": "https://x", "other": 1}])";
    EXPECT_TRUE(fetch({"BY"}).empty());
    EXPECT_EQ(m_requests, 0);
    const auto entries = fetch({"BY", "RU"});
    ASSERT_EQ(entries.size(), 2u);
    EXPECT_EQ(entries[0], (DenyListProvider::Entry{"b", "second", std::nullopt, std::nullopt}));
    EXPECT_EQ(entries[1], (DenyListProvider::Entry{"a", "first", "d", "https://x"}));
    EXPECT_EQ(failureLines(), 0u);
}

TEST_F(DenyListTest, BadDocumentsGiveAnEmptyListAndOneLogLine) {
    struct Case {
        const char* name;
        std::string answer;
        int status;
    };
    const Case cases[] = {
        {"element without a reason", R"([{"bundleIdSubstring": "a"}])", 200},
        {"wrong type for a link", R"([{"bundleIdSubstring": "a", "reason": "r", "webLink": 1}])",
         200},
        {"not an array", R"({"bundleIdSubstring": "a", "reason": "r"})", 200},
        {"error page", "<html>Not Found</html>", 404},
    };
    std::size_t expectedLines = 0;
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        m_answer = c.answer;
        m_status = c.status;
        EXPECT_TRUE(fetch({"RU"}).empty());
        EXPECT_EQ(failureLines(), ++expectedLines);
    }
}

}  // namespace
}  // namespace tarnwick
