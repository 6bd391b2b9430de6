#include "AppMonitorTestSupport.h"
#include "Screens/AppMonitor/AppStoreInfoProvider.h"
#include "Tools/DenyListProvider.h"
#include "support/LoopbackHttpServer.h"

#include <gtest/gtest.h>

#include <atomic>
#include <future>

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

    StoreResult lookup(const std::vector<std::string>& ids, std::string service = {}) {
        AppStoreInfoProvider provider(std::make_shared<HTTPSession>(), m_center,
                                      service.empty() ? m_server.baseURL() : service);
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

TEST_F(StoreLookupTest, NoNetworkPostsTheNoticeOnce) {
    // A loopback port nobody listens on: the connection is refused, as without a network.
    std::string closed;
    {
        LoopbackHttpServer gone;
        gone.start();
        closed = gone.baseURL();
    }
    auto result = lookup({"a"}, closed);
    ASSERT_FALSE(result);
    EXPECT_EQ(result.error().code, AppStoreInfoProvider::LookupError::Code::noNetwork);
    EXPECT_EQ(m_notices, 1);
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
