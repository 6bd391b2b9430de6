#include "Bootstrap/ApplicationServices.h"
#include "NetworkExtension/Manager/FilterManagerClient.h"
#include "Tools/UndesirableCountriesManager.h"
#include "Tools/WhoIs.h"
#include "XPC/XPCConnection.h"
#include "support/LoopbackHttpServer.h"
#include "support/TemporaryDirectory.h"

#include <QTest>

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <latch>
#include <optional>
#include <string>
#include <vector>

using namespace std::chrono_literals;

namespace tarnwick {
namespace {

TEST(ApplicationServices, ShutDownClosesLinksFirstThenCancelsWhatIsInFlightOnce) {
    // A geo-IP service that holds its answer until the test ends.
    std::latch release(1);
    testing::LoopbackHttpServer server;
    server.routes().Get("/v1/geoip/ip/203.0.113.7/info",
                        [&](const httplib::Request&, httplib::Response& response) {
                            release.wait();
                            response.set_content("{}", "application/json");
                        });
    server.start();
    struct Release {
        std::latch& latch;
        ~Release() { latch.count_down(); }
    } releaseAtEnd{release};
    testing::TemporaryDirectory folder;

    std::vector<std::string> order;
    ApplicationServices services(ApplicationServices::Configuration{
        server.baseURL(),
        [&] {
            return std::make_shared<FilterManagerClient>(
                XPCConnection::createForSocketPath(folder / "no-host"),
                FilterManagerClient::ChangeHandler{}, 10s, DispatchQueue::main());
        },
        1s});
    EXPECT_EQ(&services.undesirableCountries(), &UndesirableCountriesManager::shared());
    services.addShutDownStep([&] { order.push_back("link closed"); });

    std::optional<std::optional<WhoIs::Response>> answer;
    services.whoIs()->lookup("203.0.113.7", std::nullopt,
                            [&](std::optional<WhoIs::Response> response) {
                                order.push_back("lookup ended");
                                answer = std::move(response);
                            });
    services.shutDown();
    services.shutDown();
    ASSERT_TRUE(QTest::qWaitFor([&] { return answer.has_value(); }, 10000));
    EXPECT_FALSE(answer->has_value()) << "a lookup cut short gives no answer";
    EXPECT_EQ(order, (std::vector<std::string>{"link closed", "lookup ended"}));

    std::optional<std::string> loadError;
    services.filterManagerClient()->loadFromPreferences(
        [&](const auto&, const auto& error) { loadError = error.value_or("loaded"); });
    ASSERT_TRUE(QTest::qWaitFor([&] { return loadError.has_value(); }, 10000));
    EXPECT_NE(*loadError, "loaded");
}

}  // namespace
}  // namespace tarnwick
