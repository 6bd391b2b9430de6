#pragma once

#include "Screens/Presenters/ConnectionAlertAnswer.h"

#include <optional>

namespace tarnwick {

// What the user decided in the connection alert: the flow's verdict, and which later flows the
// list entry it adds decides as well. Both the flow's reply and the allow and deny lists read the
// answer through `forAnswer`, so the two can never disagree about a button.
struct ConnectionAlertDecision {
    enum class Scope {
        // The application's connections to this remote address.
        connection,
        // Every connection of the application.
        application,
        // Every connection to the flow's host name.
        host,
    };

    bool allow = false;
    Scope scope = Scope::connection;

    // None for an answer outside the buttons, which is what a closed or timed-out alert gives:
    // such a flow is denied and no list changes.
    static constexpr std::optional<ConnectionAlertDecision> forAnswer(int answer) {
        switch (static_cast<ConnectionAlertAnswer>(answer)) {
            case ConnectionAlertAnswer::allowThisConnection:
                return ConnectionAlertDecision{true, Scope::connection};
            case ConnectionAlertAnswer::denyThisConnection:
                return ConnectionAlertDecision{false, Scope::connection};
            case ConnectionAlertAnswer::allowApplication:
                return ConnectionAlertDecision{true, Scope::application};
            case ConnectionAlertAnswer::denyApplication:
                return ConnectionAlertDecision{false, Scope::application};
            case ConnectionAlertAnswer::allowHost:
                return ConnectionAlertDecision{true, Scope::host};
            case ConnectionAlertAnswer::denyHost:
                return ConnectionAlertDecision{false, Scope::host};
        }
        return std::nullopt;
    }

    // The flow's verdict: only an allow button lets it through.
    static constexpr bool allowsFlow(int answer) {
        const auto decision = forAnswer(answer);
        return decision && decision->allow;
    }

    friend constexpr bool operator==(const ConnectionAlertDecision&,
                                     const ConnectionAlertDecision&) = default;
};

}  // namespace tarnwick
