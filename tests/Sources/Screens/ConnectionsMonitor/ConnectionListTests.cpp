#include "EngineFixture.h"
#include "FilterLink/ProviderCommunication.h"
#include "Foundation/FileDescriptor.h"

#include <optional>
#include <sys/socket.h>
#include <vector>

namespace tarnwick::testing {
namespace {

class ConnectionList : public EngineFixture {
public:
    void record(const std::string& bundleId, const std::string& address, const std::string& url,
                std::size_t expectedApplications) {
        engine().recordHit({{"bundleId", bundleId}, {"remoteAddress", address}, {"url", url}},
                           true);
        ASSERT_TRUE(
            waitFor([&] { return engine().applications().size() == expectedApplications; }));
        drainMainQueue();
    }
    std::vector<std::string> shownNames() {
        std::vector<std::string> names;
        for (const auto& application : engine().filteredApplications.get()) {
            names.push_back(application->localizedName());
        }
        return names;
    }
};

TEST_F(ConnectionList, SearchIsATrueDebounceOverTheNewestText) {
    record("org.alpha.Mail", "127.0.0.1", "https://mail.example.org/", 1);
    record("org.beta.Chat", "127.0.0.2", "https://bar.example.net/", 2);
    record("org.beta.Chat", "127.0.0.3", "https://FOO.example.net/", 2);
    EXPECT_EQ(shownNames(), (std::vector<std::string>{"org.alpha.Mail", "org.beta.Chat"}));

    engine().setSearchFilterText("Ma");
    advance(100ms);
    engine().setSearchFilterText("FOO ");
    advance(200ms);
    // The first text was cancelled, the newest one has not waited its 0.25 s yet.
    EXPECT_EQ(shownNames().size(), 2u);
    advance(50ms);
    // The delayed step hops from the filter queue to the main queue.
    ASSERT_TRUE(waitFor([&] { return shownNames().size() == 1; }));
    EXPECT_EQ(shownNames(), std::vector<std::string>{"org.beta.Chat"});
    ASSERT_TRUE(engine().filteredHits.get());
    ASSERT_EQ(engine().filteredHits.get()->size(), 1u);
    EXPECT_EQ(engine().filteredHits.get()->front()->url(), "https://FOO.example.net/");
    // The matching server comes first in its application.
    EXPECT_EQ(engine().applications()[1]->children.get().front()->url(),
              "https://FOO.example.net/");

    // A name match lists the application without hits of its own.
    engine().setSearchFilterText("alpha");
    advance(250ms);
    ASSERT_TRUE(waitFor([&] { return engine().filteredHits.get()->empty(); }));
    EXPECT_EQ(shownNames(), std::vector<std::string>{"org.alpha.Mail"});
    EXPECT_TRUE(engine().filteredHits.get()->empty());

    // Clearing applies at once.
    engine().setSearchFilterText("alpha ");
    engine().setSearchFilterText("");
    EXPECT_EQ(shownNames().size(), 2u);
    EXPECT_FALSE(engine().filteredHits.get());
    advance(1s);
    EXPECT_EQ(shownNames().size(), 2u);
}

TEST_F(ConnectionList, CompromisedOnlyShowsWarningsAndClearingEmptiesTheTree) {
    record("org.alpha.Mail", kGermanServer, "https://mail.example.de/", 1);
    record("org.beta.Chat", kGermanServer, "https://chat.example.de/", 2);
    record("org.beta.Chat", kRussianServer, "https://chat.example.ru/", 2);
    ASSERT_TRUE(waitFor([&] { return engine().applications()[1]->isWarning(); }));
    engine().setShowOnlyCompromised(true);
    EXPECT_EQ(shownNames(), std::vector<std::string>{"org.beta.Chat"});
    const auto compromised = engine().applications()[1]->compromisedChildren.get();
    ASSERT_EQ(compromised.size(), 1u);
    EXPECT_EQ(compromised[0]->remoteAddress(), kRussianServer);

    engine().clearAllResults();
    EXPECT_TRUE(engine().applications().empty());
    EXPECT_TRUE(engine().filteredApplications.get().empty());
    EXPECT_FALSE(engine().expandedInfoForApp().get());
}

// Counts the redraws the model asks of the map.
class RecordingMap final : public MapCoordinator {
public:
    bool canAnimateMap() const override { return false; }
    void setCanAnimateMap(bool) override {}
    std::optional<Coordinates> userLocation() const override { return std::nullopt; }
    void setUserLocation(std::optional<Coordinates>) override {}
    void setShowsUserLocation(bool) override {}
    void setRegion(const Coordinates&, double) override {}
    void removeAllAnnotationsAndOverlays() override {}
    void update(const std::vector<std::shared_ptr<Hit>>& hits, bool reset) override {
        resets += reset ? 1 : 0;
        shown = hits;
    }
    void drawOverlays(const std::vector<std::shared_ptr<Hit>>&) override {}

    int resets = 0;
    std::vector<std::shared_ptr<Hit>> shown;
};

// With "Show compromised only" on, a warning of another application leaves the expanded
// application's map alone; a warning of its own redraws it.
TEST_F(ConnectionList, CompromisedOnlyRedrawsTheMapForTheExpandedApplicationsWarningsOnly) {
    constexpr const char* kOtherRussianServer = "203.0.113.2";
    geoIP.setAnswer(kOtherRussianServer,
                    R"({"country": {"isoCode": "RU"}, "city": {"lat": 59.9, "long": 30.3}})");
    const auto map = std::make_shared<RecordingMap>();
    engine().setMapCoordinator(map);
    record("org.beta.Chat", kRussianServer, "https://chat.example.ru/", 1);
    const auto chat = engine().applications()[0];
    ASSERT_TRUE(waitFor([&] { return chat->isWarning(); }));
    engine().setExpandedInfoForApp(chat);
    engine().setShowOnlyCompromised(true);
    drainMainQueue();
    EXPECT_EQ(map->shown, chat->compromisedChildren.get());

    map->resets = 0;
    record("org.alpha.Mail", kOtherRussianServer, "https://mail.example.ru/", 2);
    ASSERT_TRUE(waitFor([&] { return engine().applications()[1]->isWarning(); }));
    drainMainQueue();
    EXPECT_EQ(map->resets, 0);

    record("org.beta.Chat", kOtherRussianServer, "https://cdn.example.ru/", 2);
    ASSERT_TRUE(waitFor([&] { return chat->compromisedChildren.get().size() == 2; }));
    drainMainQueue();
    EXPECT_GE(map->resets, 1);
    EXPECT_EQ(map->shown.size(), 2u);

    // Switching it off shows all of the application's servers again.
    engine().setShowOnlyCompromised(false);
    drainMainQueue();
    EXPECT_EQ(map->shown, chat->children.get());
}

TEST_F(ConnectionList, RepeatedServersAreCountedWithTheNewestVerdict) {
    record("org.alpha.Mail", "127.0.0.1", "https://a.example/", 1);
    engine().recordHit({{"bundleId", "org.alpha.Mail"},
                        {"remoteAddress", "127.0.0.1"},
                        {"url", "https://a.example/"}},
                       false);
    engine().recordHit(
        {{"bundleId", "org.alpha.Mail"}, {"remoteAddress", "127.0.0.1"}, {"aza", "a.example"}},
        true);
    ASSERT_TRUE(waitFor([&] { return engine().applications()[0]->hitsCount() == 3; }));
    const auto hits = engine().applications()[0]->children.get();
    ASSERT_EQ(hits.size(), 2u);
    EXPECT_EQ(hits[0]->count(), 2);
    EXPECT_FALSE(hits[0]->isAllowed());
    EXPECT_EQ(hits[1]->url(), "a.example");
}

TEST_F(ConnectionList, WarningsComeFirstThenNamesAndAnAccessAsksForAttentionWithSound) {
    record("org.charlie.Tool", kGermanServer, "https://tool.example.de/", 1);
    record("org.alpha.Mail", kGermanServer, "https://mail.example.de/", 2);
    record("org.bravo.Chat", kRussianServer, "https://chat.example.ru/", 3);
    // Names in order, and the target country's answer moves its application to the top.
    ASSERT_TRUE(waitFor([&] { return shownNames().front() == "org.bravo.Chat"; }));
    EXPECT_EQ(shownNames(),
              (std::vector<std::string>{"org.bravo.Chat", "org.alpha.Mail", "org.charlie.Tool"}));
    ASSERT_EQ(notifications->added.size(), 1u);
    EXPECT_TRUE(notifications->added[0].playsDefaultSound);
    EXPECT_EQ(attentionRequests, 1);

    // Hits and applications share the outline's columns.
    const auto& chat = *engine().filteredApplications.get().front();
    const auto& hit = *chat.children.get().front();
    EXPECT_EQ(chat.filterName(), "org.bravo.Chatorg.bravo.Chat");
    EXPECT_FALSE(chat.isLeaf);
    EXPECT_TRUE(hit.isLeaf);
    EXPECT_EQ(hit.localizedName(), kRussianServer);
    EXPECT_EQ(hit.bundleIdentifier(), "https://chat.example.ru/");
    EXPECT_EQ(hit.filterName(), std::string(kRussianServer) + "https://chat.example.ru/");
    EXPECT_EQ(hit.hitsCount(), 0);
    EXPECT_TRUE(hit.children().empty());
}

// The extension's end of a socket pair: answers every registration as told.
class Provider final : public ProviderCommunication {
public:
    // Without an answer, it keeps the reply and never answers.
    explicit Provider(std::optional<bool> answer = true) : m_answer(answer) {}
    void registerApp(Reply reply) override {
        if (m_answer) {
            reply(*m_answer);
        } else {
            m_held.push_back(std::move(reply));
        }
    }

private:
    const std::optional<bool> m_answer;
    std::vector<Reply> m_held;
};

// An extension bundle in `folder` that names its service.
Bundle linkedExtension(const TemporaryDirectory& folder) {
    std::filesystem::create_directories(folder.path() / "Ext.systemextension/Contents");
    writeFile(folder.path() / "Ext.systemextension/Contents/Info.plist",
              "<?xml version=\"1.0\"?><plist version=\"1.0\"><dict><key>NetworkExtension</key>"
              "<dict><key>NEMachServiceName</key><string>svc</string></dict></dict></plist>");
    return Bundle(folder.path() / "Ext.systemextension");
}

TEST(IPCConnectionTest, AHungUpLinkIsForgottenSoTheNextRegistrationConnects) {
    std::vector<std::shared_ptr<XPCConnection>> peers;
    int connections = 0;
    IPCConnection link([&](const std::string&) {
        int fds[2];
        EXPECT_EQ(::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, fds), 0);
        auto peer = XPCConnection::adoptSocket(FileDescriptor(fds[1]), "extension");
        peer->setExportedInterface(ProviderCommunication::interface());
        peer->setExportedObject(
            ProviderCommunication::exportedObject(std::make_shared<Provider>()));
        peer->setRemoteObjectInterface(AppCommunication::interface());
        peer->resume();
        peers.push_back(peer);
        ++connections;
        return XPCConnection::adoptSocket(FileDescriptor(fds[0]), "application");
    });
    TemporaryDirectory folder;
    const Bundle extension = linkedExtension(folder);
    std::vector<bool> answers;
    const auto registerOnce = [&] {
        const auto before = answers.size();
        link.registerWithExtension(extension, {}, [&](bool ok) { answers.push_back(ok); });
        ASSERT_TRUE(RunLoop::main().runUntil([&] { return answers.size() > before; }, 10s));
    };
    registerOnce();
    registerOnce();
    EXPECT_EQ(answers, (std::vector<bool>{true, true}));
    EXPECT_EQ(connections, 1);

    peers.front()->invalidate();
    ASSERT_TRUE(RunLoop::main().runUntil([&] { return !link.hasConnection(); }, 10s));
    registerOnce();
    EXPECT_EQ(answers.back(), true);
    EXPECT_EQ(connections, 2);
    for (const auto& peer : peers) {
        peer->invalidate();
    }
}

TEST(ApplicationLink, ARegistrationAskedWhileOneIsOnItsWayGetsThatOnesAnswer) {
    // Start-up asks twice in one turn of the main queue; the second must not hear "registered"
    // before the first knows, or a failed registration looks like a running filter.
    enum class Extension { registers, refuses, isGone, neverAnswers };
    for (const auto extension :
         {Extension::registers, Extension::refuses, Extension::isGone, Extension::neverAnswers}) {
        SCOPED_TRACE(static_cast<int>(extension));
        std::vector<std::shared_ptr<XPCConnection>> peers;
        int connections = 0;
        IPCConnection link(
            [&](const std::string&) {
                int fds[2];
                EXPECT_EQ(::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, fds), 0);
                ++connections;
                if (extension == Extension::isGone) {
                    ::close(fds[1]);
                    return XPCConnection::adoptSocket(FileDescriptor(fds[0]), "application");
                }
                auto peer = XPCConnection::adoptSocket(FileDescriptor(fds[1]), "extension");
                peer->setExportedInterface(ProviderCommunication::interface());
                peer->setExportedObject(
                    ProviderCommunication::exportedObject(std::make_shared<Provider>(
                        extension == Extension::neverAnswers
                            ? std::nullopt
                            : std::optional<bool>(extension == Extension::registers))));
                peer->setRemoteObjectInterface(AppCommunication::interface());
                peer->resume();
                peers.push_back(peer);
                return XPCConnection::adoptSocket(FileDescriptor(fds[0]), "application");
            },
            300ms);
        TemporaryDirectory folder;
        const Bundle bundle = linkedExtension(folder);
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
