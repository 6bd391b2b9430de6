#include "Network/HTTPSession.h"
#include "Shell/UpdateChecker.h"
#include "support/LoopbackHttpServer.h"

#include <QCoreApplication>
#include <QTest>

#include <gtest/gtest.h>

namespace tarnwick {
namespace {

using Kind = UpdateChecker::Outcome::Kind;

TEST(UpdateCheckerTest, FeedParsingRefusesWhatIsNotARelease) {
    struct Row {
        const char* body;
        bool ok;
    };
    for (const Row& row :
         std::vector<Row>{{R"({"version": "1.2.0", "url": "https://example.test/t.deb"})", true},
                          {R"({"version": "1.2.0", "url": "http://example.test/t.deb"})", false},
                          {R"({"version": 12, "url": "https://example.test/t.deb"})", false},
                          {R"(["1.2.0"])", false},
                          {R"({"version": "1.2.0", )", false},
                          {"", false}}) {
        SCOPED_TRACE(row.body);
        EXPECT_EQ(UpdateChecker::parseFeed(row.body).ok(), row.ok);
    }
    EXPECT_FALSE(UpdateChecker::parseFeed(std::string(UpdateChecker::maximumFeedSize + 1, ' ')));
    EXPECT_FALSE(UpdateChecker::parseFeed(std::string(60000, '[')));
}

TEST(UpdateCheckerTest, ComparesDottedVersions) {
    EXPECT_GT(UpdateChecker::compareVersions("1.10.0", "1.9.9"), 0);
    EXPECT_EQ(UpdateChecker::compareVersions("1.2", "1.2.0"), 0);
    EXPECT_LT(UpdateChecker::compareVersions("1.2.0-beta", "1.2.0"), 0);
    EXPECT_LT(UpdateChecker::compareVersions("1.0.0", "2"), 0);
}

UpdateChecker::Outcome checkAgainst(const std::string& url, const std::string& current) {
    UpdateChecker checker(url, current, std::make_shared<HTTPSession>());
    std::optional<UpdateChecker::Outcome> outcome;
    checker.check([&](UpdateChecker::Outcome result) { outcome = result; });
    EXPECT_TRUE(QTest::qWaitFor([&] { return outcome.has_value(); }, 20000));
    return outcome.value_or(UpdateChecker::Outcome{});
}

TEST(UpdateCheckerTest, TellsWhatTheFeedSays) {
    testing::LoopbackHttpServer server;
    server.routes().Get("/update.json", [](const httplib::Request&, httplib::Response& response) {
        response.set_content(R"({"version": "1.4.0", "url": "https://example.test/t.deb"})",
                             "application/json");
    });
    server.routes().Get("/broken.json", [](const httplib::Request&, httplib::Response& response) {
        response.set_content("<html>", "text/html");
    });
    server.start();
    const auto newer = checkAgainst(server.baseURL() + "update.json", "1.0.0");
    EXPECT_EQ(newer.kind, Kind::updateAvailable);
    EXPECT_EQ(newer.message, "Tarnwick 1.4.0 is available (you have 1.0.0).");
    EXPECT_EQ(checkAgainst(server.baseURL() + "update.json", "1.4.0").kind, Kind::upToDate);
    EXPECT_EQ(checkAgainst(server.baseURL() + "broken.json", "1.0.0").kind, Kind::failed);
    EXPECT_EQ(checkAgainst(server.baseURL() + "missing.json", "1.0.0").kind, Kind::failed);
}

TEST(UpdateCheckerTest, NoServerIsAClearNoNetworkMessage) {
    int port = 0;
    {
        testing::LoopbackHttpServer closed;
        closed.start();
        port = closed.port();
    }
    const auto outcome =
        checkAgainst("http://127.0.0.1:" + std::to_string(port) + "/update.json", "1.0.0");
    EXPECT_EQ(outcome.kind, Kind::noNetwork);
    EXPECT_NE(outcome.message.find("no connection"), std::string::npos);
}

TEST(UpdateCheckerTest, ABuildWithoutAFeedSaysSoWithoutAskingAnyone) {
    const auto outcome = checkAgainst("", "1.0.0");
    EXPECT_EQ(outcome.kind, Kind::notConfigured);
    EXPECT_EQ(outcome.message, "Updates are not configured for this build.");
}

}  // namespace
}  // namespace tarnwick
