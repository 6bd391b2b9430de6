#include "EngineFixture.h"
#include "Tools/AllowanceList.h"

namespace tarnwick::testing {
namespace {

using FlowInfo = ConnectionsMonitorViewModel::FlowInfo;

class FlowDecision : public EngineFixture {
protected:
    // Sends one flow as the link would and returns every reply it got once things settle.
    std::vector<bool> decide(const FlowInfo& flowInfo) {
        auto replies = std::make_shared<std::vector<bool>>();
        engine().promptUser(flowInfo, [replies](bool allow) { replies->push_back(allow); });
        waitFor([&] { return !replies->empty() || alerts->held; });
        drainMainQueue();
        return *replies;
    }
    std::vector<std::string> listed() {
        drainMainQueue();
        std::vector<std::string> names;
        for (const auto& application : engine().applications()) {
            for (const auto& hit : application->children.get()) {
                names.push_back(application->bundleIdentifier() + " " + hit->remoteAddress() +
                                (hit->isAllowed() ? " allowed" : " denied"));
            }
        }
        return names;
    }
};

TEST_F(FlowDecision, EveryPathRepliesExactlyOnceAndRecordsItsVerdict) {
    struct Row {
        const char* name;
        FlowInfo flow;
        std::optional<int> alertAnswer;  // the user's button, when an alert is expected
        bool allowed;
        std::function<void(AllowanceList&)> arrange = {};
    };
    const std::string ru = kRussianServer;
    const std::vector<Row> rows = {
        {"own geo-IP traffic",
         {{"aza", std::string(WhoIs::serviceHost)}, {"bundleId", "a.b"}},
         {},
         true},
        {"no remote address", {{"bundleId", "a.b"}}, {}, true},
        {"empty remote address", {{"bundleId", "a.b"}, {"remoteAddress", ""}}, {}, true},
        {"loopback", {{"bundleId", "a.b"}, {"remoteAddress", "127.0.0.1"}}, {}, true},
        {"other country", {{"bundleId", "a.b"}, {"remoteAddress", kGermanServer}}, {}, true},
        {"allow list",
         {{"bundleId", "a.b"}, {"remoteAddress", ru}},
         {},
         true,
         [](AllowanceList& list) { list.bundleIDWhitelist = {"a.b"}; }},
        {"deny list",
         {{"bundleId", "a.b"}, {"remoteAddress", ru}},
         {},
         false,
         [](AllowanceList& list) { list.bundleIDBlacklist = {"a.b"}; }},
        {"both lists: allow wins",
         {{"bundleId", "a.b"}, {"remoteAddress", ru}},
         {},
         true,
         [](AllowanceList& list) {
             list.bundleIDWhitelist = {"a.b"};
             list.hostBlacklist = {"evil.example"};
         }},
        {"alert: allow this connection", {{"bundleId", "a.b"}, {"remoteAddress", ru}}, 1000, true},
        {"alert: deny this connection", {{"bundleId", "a.b"}, {"remoteAddress", ru}}, 1001, false},
        {"alert: allow the application", {{"bundleId", "a.b"}, {"remoteAddress", ru}}, 1002, true},
        {"alert: deny the application", {{"bundleId", "a.b"}, {"remoteAddress", ru}}, 1003, false},
        {"alert: allow the host",
         {{"bundleId", "a.b"}, {"remoteAddress", ru}, {"aza", "evil.example"}},
         1004,
         true},
        {"alert: deny the host",
         {{"bundleId", "a.b"}, {"remoteAddress", ru}, {"aza", "evil.example"}},
         1005,
         false},
        {"alert: an answer outside the buttons",
         {{"bundleId", "a.b"}, {"remoteAddress", ru}},
         7,
         false},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        // The lists an earlier row's answer changed are written after its decision: that write
        // must not land in this row's settings.
        if (settingsModel) {
            settingsModel->waitUntilListsSaved();
        }
        AllowanceList stored;
        if (row.arrange) {
            row.arrange(stored);
        }
        settings.relaunch();
        stored.saveToSettings();
        m_engine.reset();
        alerts = std::make_shared<FakeAlertPresenter>();
        if (row.alertAnswer) {
            alerts->answers.push_back(*row.alertAnswer);
        }
        const auto replies = decide(row.flow);
        waitFor([&] { return !engine().applications().empty(); });
        EXPECT_EQ(replies, std::vector<bool>{row.allowed});
        EXPECT_EQ(alerts->shown.size(), row.alertAnswer ? 1u : 0u);
        const auto bundleId = row.flow.count("bundleId") ? row.flow.at("bundleId") : "";
        const auto address = row.flow.count("remoteAddress") ? row.flow.at("remoteAddress")
                                                             : std::string("Unknown address");
        EXPECT_EQ(listed(),
                  std::vector<std::string>{bundleId + " " + (address.empty() ? "" : address) +
                                           (row.allowed ? " allowed" : " denied")});
    }
}

TEST_F(FlowDecision, AlertAnswersChangeAndSaveTheRightList) {
    const FlowInfo flow = {{"bundleId", "a.b"}, {"remoteAddress", kRussianServer}};
    alerts->answers = {1000};
    EXPECT_EQ(decide(flow), std::vector<bool>{true});
    settingsModel->waitUntilListsSaved();
    auto stored = AllowanceList::restoreFromSettings();
    ASSERT_TRUE(stored);
    EXPECT_EQ(stored->hitsWhitelist, (std::vector<HitListEntry>{{"a.b", kRussianServer}}));

    // The same pair again is allowed by the list, without an alert; another address is not.
    EXPECT_EQ(decide(flow), std::vector<bool>{true});
    EXPECT_EQ(alerts->shown.size(), 1u);
    alerts->answers = {1003};
    const FlowInfo other = {{"bundleId", "a.b"}, {"remoteAddress", "203.0.113.9"}};
    geoIP.setAnswer("203.0.113.9", R"({"country": {"isoCode": "ru"}})");
    EXPECT_EQ(decide(other), std::vector<bool>{false});
    EXPECT_EQ(alerts->shown.size(), 2u);
    settingsModel->waitUntilListsSaved();
    stored = AllowanceList::restoreFromSettings();
    EXPECT_EQ(stored->bundleIDBlacklist, std::vector<std::string>{"a.b"});
    // Denied from now on by the application's entry, whatever the address.
    EXPECT_EQ(decide(other), std::vector<bool>{false});
    EXPECT_EQ(alerts->shown.size(), 2u);
}

TEST_F(FlowDecision, OneAlertAtATimeAndWaitingFlowsAreTestedAgainst) {
    const FlowInfo flow = {{"bundleId", "a.b"}, {"remoteAddress", kRussianServer}};
    auto replies = std::make_shared<std::vector<bool>>();
    engine().promptUser(flow, [replies](bool allow) { replies->push_back(allow); });
    engine().promptUser(flow, [replies](bool allow) { replies->push_back(allow); });
    ASSERT_TRUE(waitFor([&] { return alerts->shown.size() == 1 && alerts->held; }));
    drainMainQueue();
    EXPECT_EQ(alerts->shown.size(), 1u);
    EXPECT_TRUE(replies->empty());

    // "Allow connections from" settles the waiting flow too: no second alert.
    alerts->held(1002);
    ASSERT_TRUE(waitFor([&] { return replies->size() == 2; }));
    drainMainQueue();
    EXPECT_EQ(*replies, (std::vector<bool>{true, true}));
    EXPECT_EQ(alerts->shown.size(), 1u);
}

TEST_F(FlowDecision, AnUnansweredAlertDropsTheFlowBeforeTheExtensionsLimit) {
    const FlowInfo flow = {{"bundleId", "a.b"}, {"remoteAddress", kRussianServer}};
    auto replies = std::make_shared<std::vector<bool>>();
    engine().promptUser(flow, [replies](bool allow) { replies->push_back(allow); });
    ASSERT_TRUE(waitFor([&] { return alerts->held != nullptr; }));
    advance(54s);
    EXPECT_TRUE(replies->empty());
    advance(1s);
    EXPECT_EQ(*replies, std::vector<bool>{false});
    EXPECT_EQ(alerts->dismissed, 1);
    // A late press changes nothing and adds nothing.
    alerts->held(1000);
    drainMainQueue();
    EXPECT_EQ(replies->size(), 1u);
    EXPECT_FALSE(AllowanceList::restoreFromSettings());
}

TEST_F(FlowDecision, AlertTextsAndButtons) {
    const auto withHost = engine().makeConnectionAlert(
        {{"bundleId", "org.example.Tool"}, {"remoteAddress", "203.0.113.1"}, {"aza", "x.ru"}},
        "RU");
    EXPECT_EQ(withHost.messageText, "Potentially Unwanted Connection from org.example.Tool");
    EXPECT_EQ(withHost.informativeText, "Host: x.ru\nCountry: Russia\nIP: 203.0.113.1");
    EXPECT_EQ(withHost.buttons,
              (std::vector<std::string>{"Allow this connection", "Deny this connection",
                                        "Allow connections from org.example.Tool",
                                        "Deny connections from org.example.Tool",
                                        "Allow connections to x.ru", "Deny connections to x.ru"}));

    const auto anonymous =
        engine().makeConnectionAlert({{"remoteAddress", "203.0.113.1"}, {"aza", ""}}, "XQ");
    EXPECT_EQ(anonymous.messageText, "Potentially Unwanted Connection from Unknown Application");
    EXPECT_EQ(anonymous.informativeText, "Country: xq\nIP: 203.0.113.1");
    EXPECT_EQ(anonymous.buttons.size(), 4u);
    EXPECT_EQ(anonymous.buttons[3], "Deny connections from Unknown Application");
}

TEST_F(FlowDecision, HitsFindTheirCountryWarnAndNotifyForAllowedTargetConnections) {
    alerts->answers = {1000};
    decide({{"bundleId", "a.b"}, {"remoteAddress", kRussianServer}, {"url", "https://x.ru/"}});
    decide({{"bundleId", "a.b"}, {"remoteAddress", kGermanServer}, {"url", "https://x.de/"}});
    ASSERT_TRUE(waitFor([&] {
        return !engine().applications().empty() &&
               engine().applications()[0]->children.get().size() == 2 &&
               engine().applications()[0]->children.get()[1]->isGeoAvailable();
    }));
    const auto& application = engine().applications()[0];
    const auto hits = application->children.get();
    EXPECT_TRUE(application->isWarning());
    EXPECT_EQ(application->hitsCount(), 2);
    EXPECT_EQ(hits[0]->countryCode2(), "RU");
    EXPECT_TRUE(hits[0]->isWarning());
    ASSERT_TRUE(hits[0]->coordinates());
    EXPECT_DOUBLE_EQ(hits[0]->coordinates()->lat, 55.7);
    EXPECT_EQ(hits[1]->countryCode2(), "DE");
    EXPECT_FALSE(hits[1]->isWarning());
    ASSERT_EQ(notifications->added.size(), 1u);
    EXPECT_EQ(notifications->added[0].title, "Russian server has been accessed");
    EXPECT_EQ(notifications->added[0].subtitle, "a.b accessed russian server");
    EXPECT_EQ(notifications->added[0].body, "Server IP: 203.0.113.1");
}

TEST_F(FlowDecision, OwnFlowsAreNeverListedAndUnknownOnesGatherUnderOtherProcess) {
    decide({{"bundleId", "com.example.app"}, {"remoteAddress", "127.0.0.1"}});
    decide({{"remoteAddress", "127.0.0.1"}, {"aza", "localhost"}});
    decide({{"remoteAddress", "127.0.0.2"}, {"aza", "localhost"}});
    ASSERT_TRUE(waitFor([&] {
        return !engine().applications().empty() &&
               engine().applications()[0]->children.get().size() == 2;
    }));
    ASSERT_EQ(engine().applications().size(), 1u);
    EXPECT_EQ(engine().applications()[0]->localizedName(), "Other Process");
    EXPECT_EQ(engine().applications()[0]->children.get().size(), 2u);
}

// A target country without an adjective of its own is named by its localized name.
TEST_F(FlowDecision, AccessToAnotherTargetCountryNamesItInTheNotification) {
    countries.add(Country("DE"));
    alerts->answers = {1000};
    decide({{"bundleId", "a.b"}, {"remoteAddress", kGermanServer}, {"url", "https://x.de/"}});
    ASSERT_TRUE(waitFor([&] { return !notifications->added.empty(); }));
    EXPECT_EQ(notifications->added[0].title, "Germany server has been accessed");
    EXPECT_EQ(notifications->added[0].subtitle, "a.b accessed Germany server");
    EXPECT_EQ(notifications->added[0].body, "Server IP: 198.51.100.1");
}

}  // namespace
}  // namespace tarnwick::testing
