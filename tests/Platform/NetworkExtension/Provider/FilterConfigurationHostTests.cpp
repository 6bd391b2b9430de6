#include "Dispatch/RunLoop.h"
#include "FilterLink/FilterConfigurationCommunication.h"
#include "NetworkExtension/Manager/FilterManagerClient.h"
#include "NetworkExtension/Provider/FilterConfigurationHost.h"
#include "NetworkExtension/Provider/FilterConfigurationStore.h"
#include "support/TemporaryDirectory.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <future>
#include <mutex>
#include <unistd.h>
#include <variant>

using namespace std::chrono_literals;

namespace tarnwick {
namespace {

constexpr auto kWait = 10s;

class FakeFilter final : public FilterConfigurationHost::FilterSwitch {
public:
    Result<void, std::string> startFilter() override {
        if (failStart) {
            return Failure{std::string("no queue")};
        }
        ++starts;
        return {};
    }
    void stopFilter() override { ++stops; }
    Health health() override {
        std::lock_guard lock(mutex);
        return health_;
    }

    std::mutex mutex;
    Health health_;
    std::atomic<bool> failStart{false};
    std::atomic<int> starts{0};
    std::atomic<int> stops{0};
};

FilterConfiguration enabledConfiguration() {
    FilterConfiguration configuration;
    configuration.enabled = true;
    configuration.localizedDescription = "Tarnwick";
    configuration.providerConfiguration = {true, false};
    return configuration;
}

template <typename T>
std::optional<T> await(std::future<T>& future) {
    if (future.wait_for(kWait) != std::future_status::ready) {
        return std::nullopt;
    }
    return future.get();
}

std::optional<std::string> save(FilterManagerClient& client,
                                const FilterConfiguration& configuration) {
    auto promise = std::make_shared<std::promise<std::optional<std::string>>>();
    auto future = promise->get_future();
    client.saveToPreferences(configuration, [promise](const std::optional<std::string>& error) {
        promise->set_value(error);
    });
    return await(future).value_or("no answer");
}

std::optional<FilterConfiguration> load(FilterManagerClient& client) {
    auto promise = std::make_shared<std::promise<std::optional<FilterConfiguration>>>();
    auto future = promise->get_future();
    client.loadFromPreferences(
        [promise](const std::optional<FilterConfiguration>& configuration,
                  const std::optional<std::string>&) { promise->set_value(configuration); });
    return await(future).value_or(std::nullopt);
}

// The status, or the error text when none came.
std::variant<FilterStatus, std::string> status(FilterManagerClient& client) {
    auto promise = std::make_shared<std::promise<std::variant<FilterStatus, std::string>>>();
    auto future = promise->get_future();
    client.fetchStatus([promise](const std::optional<FilterStatus>& status,
                                 const std::optional<std::string>& error) {
        if (status) {
            promise->set_value(*status);
        } else {
            promise->set_value(error.value_or("no error"));
        }
    });
    return await(future).value_or(std::string("no answer"));
}

class FilterConfigurationHostTest : public ::testing::Test {
protected:
    void startHost() {
        m_host = std::make_shared<FilterConfigurationHost>(
            FilterConfigurationStore(file()), m_filter,
            XPCListener::createForSocketPath(socket(), XPCPeerPolicy({::getuid()}, ::getuid())));
        m_host->start();
    }
    void TearDown() override {
        if (m_host) {
            m_host->shutdown();
        }
    }
    std::filesystem::path file() const { return m_folder / "state" / "filter-configuration.json"; }
    std::filesystem::path socket() const { return m_folder / "filter-manager"; }

    testing::TemporaryDirectory m_folder;
    std::shared_ptr<FakeFilter> m_filter = std::make_shared<FakeFilter>();
    std::shared_ptr<FilterConfigurationHost> m_host;
};

TEST_F(FilterConfigurationHostTest, StoredConfigurationIsAppliedAtStartAndLoaded) {
    ASSERT_TRUE(FilterConfigurationStore(file()).save(enabledConfiguration()).ok());
    startHost();
    EXPECT_EQ(m_filter->starts, 1);
    auto client = FilterManagerClient::createForSocketPath(socket());
    EXPECT_EQ(load(*client), enabledConfiguration());
}

TEST_F(FilterConfigurationHostTest, ClientOnTheMainQueueAnswersAndReportsChangesThere) {
    startHost();
    std::vector<std::string> events;  // main thread only
    auto onMain = [] { return isMainThread() ? "@main" : "@other"; };
    auto client = std::make_shared<FilterManagerClient>(
        XPCConnection::createForSocketPath(socket()),
        [&](const FilterConfiguration&) { events.push_back(std::string("changed") + onMain()); },
        10s, DispatchQueue::main());
    client->loadFromPreferences([&](const auto&, const auto& error) {
        events.push_back(std::string(error ? "load failed" : "loaded") + onMain());
    });
    ASSERT_TRUE(RunLoop::main().runUntil([&] { return events.size() == 1; }, kWait));
    client->saveToPreferences(enabledConfiguration(), [&](const auto& error) {
        events.push_back(std::string(error ? "save failed" : "saved") + onMain());
    });
    ASSERT_TRUE(RunLoop::main().runUntil([&] { return events.size() == 3; }, kWait));
    std::sort(events.begin() + 1, events.end());
    EXPECT_EQ(events, (std::vector<std::string>{"loaded@main", "changed@main", "saved@main"}));
    client->invalidate();
}

TEST_F(FilterConfigurationHostTest, SaveSwitchesTheFilterStoresItAndTellsEveryClient) {
    startHost();
    // Shared with the change handler, which may still run for the second save after the test.
    struct Told {
        std::promise<FilterConfiguration> promise;
        std::atomic<bool> once{false};
    };
    auto told = std::make_shared<Told>();
    auto future = told->promise.get_future();
    auto watcher = FilterManagerClient::createForSocketPath(
        socket(), [told](const FilterConfiguration& configuration) {
            if (!told->once.exchange(true)) {
                told->promise.set_value(configuration);
            }
        });
    ASSERT_EQ(load(*watcher), FilterConfiguration{}) << "nothing stored: the filter is off";

    auto manager = FilterManagerClient::createForSocketPath(socket());
    EXPECT_EQ(save(*manager, enabledConfiguration()), std::nullopt);
    EXPECT_EQ(m_filter->starts, 1);
    EXPECT_EQ(await(future), enabledConfiguration());
    EXPECT_EQ(testing::readFile(file()),
              "{\n"
              "  \"enabled\": true,\n"
              "  \"localizedDescription\": \"Tarnwick\",\n"
              "  \"providerConfiguration\": {\n"
              "    \"filterPackets\": false,\n"
              "    \"filterSockets\": true\n"
              "  }\n"
              "}\n");

    auto disabled = enabledConfiguration();
    disabled.enabled = false;
    EXPECT_EQ(save(*manager, disabled), std::nullopt);
    EXPECT_EQ(m_filter->stops, 1);
    EXPECT_EQ(FilterConfigurationStore(file()).load(), disabled);
}

TEST_F(FilterConfigurationHostTest, RefusedSavesChangeNothing) {
    startHost();
    auto manager = FilterManagerClient::createForSocketPath(socket());
    auto noProvider = enabledConfiguration();
    noProvider.providerConfiguration.reset();
    EXPECT_NE(save(*manager, noProvider), std::nullopt);

    m_filter->failStart = true;
    EXPECT_EQ(save(*manager, enabledConfiguration()), "The filter could not be started: no queue");
    EXPECT_EQ(m_filter->starts, 0);
    EXPECT_FALSE(std::filesystem::exists(file()));
    EXPECT_EQ(load(*manager), FilterConfiguration{});
}

TEST_F(FilterConfigurationHostTest, AFullHostMakesRoomByClosingTheLongestIdleClient) {
    startHost();
    std::vector<std::shared_ptr<FilterManagerClient>> clients;
    for (std::size_t i = 0; i < FilterConfigurationHost::kMaximumClients; ++i) {
        clients.push_back(FilterManagerClient::createForSocketPath(socket()));
        ASSERT_EQ(load(*clients.back()), FilterConfiguration{}) << "client " << i;
    }
    auto extra = FilterManagerClient::createForSocketPath(socket());
    EXPECT_EQ(load(*extra), FilterConfiguration{}) << "one more is served, not refused";
    // The client that made way connects again with its next call.
    EXPECT_TRUE(
        RunLoop::main().runUntil([&] { return load(*clients.front()).has_value(); }, kWait));
}

TEST_F(FilterConfigurationHostTest, UnreadableStoreIsKeptAsideAndTheFilterStaysOff) {
    testing::writeFile(file(), "{\"enabled\": tru");
    startHost();
    EXPECT_EQ(m_filter->starts, 0);
    EXPECT_EQ(testing::readFile(file().string() + ".corrupt"), "{\"enabled\": tru");
}

TEST_F(FilterConfigurationHostTest, AClientThatFoundNoHostReachesItOnceItRuns) {
    auto client = FilterManagerClient::createForSocketPath(socket());
    EXPECT_EQ(load(*client), std::nullopt) << "no host yet";
    startHost();
    EXPECT_EQ(save(*client, enabledConfiguration()), std::nullopt);
    EXPECT_EQ(m_filter->starts, 1);
}

TEST_F(FilterConfigurationHostTest, StatusSaysWhetherTheConfiguredFilterWorks) {
    startHost();
    auto client = FilterManagerClient::createForSocketPath(socket());
    using Answer = std::variant<FilterStatus, std::string>;
    // Off as configured: nothing to look at, and sound.
    EXPECT_EQ(status(*client), Answer(FilterStatus{}));

    ASSERT_EQ(save(*client, enabledConfiguration()), std::nullopt);
    EXPECT_EQ(status(*client), Answer(FilterStatus{true, true, true, true, {}}));
    {
        std::lock_guard lock(m_filter->mutex);
        m_filter->health_ = {false, true, "the jump from OUTPUT is missing"};
    }
    const auto broken = status(*client);
    ASSERT_TRUE(std::holds_alternative<FilterStatus>(broken));
    EXPECT_FALSE(std::get<FilterStatus>(broken).isSound());
    EXPECT_EQ(std::get<FilterStatus>(broken).fault(), "the jump from OUTPUT is missing");

    // Without a host the call still ends, with an error.
    m_host->shutdown();
    m_host.reset();
    EXPECT_TRUE(std::holds_alternative<std::string>(status(*client)));
}

TEST_F(FilterConfigurationHostTest, EveryCallCompletesEvenWithoutAHost) {
    auto client = FilterManagerClient::createForSocketPath(socket());
    EXPECT_NE(save(*client, enabledConfiguration()), std::nullopt);

    // A host that takes calls and never answers them.
    class Silent final : public XPCListenerDelegate, public XPCExportedObject {
    public:
        bool shouldAcceptNewConnection(XPCListener&,
                                       const std::shared_ptr<XPCConnection>& connection) override {
            connection->setExportedInterface(FilterConfigurationCommunication::interface());
            connection->setExportedObject(
                std::shared_ptr<XPCExportedObject>(std::shared_ptr<XPCExportedObject>{}, this));
            connection->resume();
            kept.push_back(connection);
            return true;
        }
        void invoke(const std::string&, const Value::Array&, XPCReply reply) override {
            replies.push_back(reply);
        }
        std::vector<std::shared_ptr<XPCConnection>> kept;
        std::vector<XPCReply> replies;
    };
    auto silent = std::make_shared<Silent>();
    auto listener =
        XPCListener::createForSocketPath(socket(), XPCPeerPolicy({::getuid()}, ::getuid()));
    listener->setDelegate(silent);
    ASSERT_TRUE(listener->resume());
    auto patient = std::make_shared<FilterManagerClient>(
        XPCConnection::createForSocketPath(socket()), FilterManagerClient::ChangeHandler{}, 1s);
    EXPECT_EQ(save(*patient, enabledConfiguration()), "The filter host did not answer in time.");
    for (const auto& connection : silent->kept) {
        connection->invalidate();
    }
}

}  // namespace
}  // namespace tarnwick
