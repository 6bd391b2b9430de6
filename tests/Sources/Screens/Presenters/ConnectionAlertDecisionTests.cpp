#include "Screens/Presenters/ConnectionAlertDecision.h"

#include <gtest/gtest.h>

#include <climits>

namespace tarnwick::testing {
namespace {

using Scope = ConnectionAlertDecision::Scope;

TEST(ConnectionAlertDecision, EveryButtonMapsToItsVerdictAndScope) {
    const struct {
        const char* button;
        int answer;
        std::optional<ConnectionAlertDecision> decision;
    } rows[] = {
        {"Allow this connection", 1000, ConnectionAlertDecision{true, Scope::connection}},
        {"Deny this connection", 1001, ConnectionAlertDecision{false, Scope::connection}},
        {"Allow connections from the application", 1002,
         ConnectionAlertDecision{true, Scope::application}},
        {"Deny connections from the application", 1003,
         ConnectionAlertDecision{false, Scope::application}},
        {"Allow connections to the host", 1004, ConnectionAlertDecision{true, Scope::host}},
        {"Deny connections to the host", 1005, ConnectionAlertDecision{false, Scope::host}},
        {"closed or timed out", ConnectionAlert::kNoAnswer, std::nullopt},
        {"just below the first button", 999, std::nullopt},
        {"just past the last button", 1006, std::nullopt},
        {"negative", -1000, std::nullopt},
        {"largest", INT_MAX, std::nullopt},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.button);
        EXPECT_EQ(ConnectionAlertDecision::forAnswer(row.answer), row.decision);
        EXPECT_EQ(ConnectionAlertDecision::allowsFlow(row.answer),
                  row.decision && row.decision->allow);
    }
    // The named answers are the buttons' numbers.
    EXPECT_EQ(static_cast<int>(ConnectionAlertAnswer::allowThisConnection), 1000);
    EXPECT_EQ(static_cast<int>(ConnectionAlertAnswer::denyHost), 1005);
}

}  // namespace
}  // namespace tarnwick::testing
