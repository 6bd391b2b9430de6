#pragma once

#include "Screens/Presenters/ConnectionAlert.h"

namespace tarnwick {

// The buttons' answers of the connection alert, in the order in which the alert adds them: the
// first button answers `ConnectionAlert::kFirstButtonAnswer` and each next one one more. The host
// pair is shown only for flows with a host name.
enum class ConnectionAlertAnswer : int {
    allowThisConnection = ConnectionAlert::kFirstButtonAnswer,
    denyThisConnection,
    allowApplication,
    denyApplication,
    allowHost,
    denyHost,
};

}  // namespace tarnwick
